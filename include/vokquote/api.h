/* The free functions of the VokQuote library, all with C linkage: creating the quote service
   object, the library's version, and on Linux the calls that run the calling thread's message
   loop (every subscription callback is delivered through it, on the thread that subscribed) and
   the handler for the server's "logged in elsewhere" notices.

     IVokQuotes* quotes = nullptr;
     if (SUCCEEDED(VokQuotesCreate(IID_IVokQuotes, (void**)&quotes))) ...
     VokRunMessageLoop(-1, 5000);   // deliver callbacks on this thread for 5 s */
#ifndef VOKQUOTE_API_H
#define VOKQUOTE_API_H

#include <vokquote/com.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a VokQuotes object without the class registry and returns its riid interface. */
HRESULT VokQuotesCreate(REFIID riid, void** object);

/* Non-zero: every VokQuotes object created afterwards delivers its callbacks as soon as the
   subscribing thread's message loop runs, instead of from that thread's 60 ms drain timer, as the
   per-user setting "ImmediateDelivery" does. Zero: the setting decides again (off by default). */
void VokSetImmediateDelivery(int on);

/* The library's version as "major.minor.patch", the same as VOKQUOTE_VERSION_STRING of the
   headers it was built with. */
const char* VokQuoteVersion(void);

#ifndef _WIN32

/* Runs everything pending for the calling thread's message loop now (posted callbacks, due
   timers) and returns how many ran. */
size_t VokPumpMessages(void);

/* How VokRunMessageLoop ended. */
enum VokLoopExit { VOK_LOOP_STOPPED = 0, VOK_LOOP_QUIT = 1, VOK_LOOP_TIMEOUT = 2, VOK_LOOP_FAILED = 3 };

/* Runs the calling thread's message loop until stopFd is readable (it is not read; -1: no such
   descriptor), VokQuitMessageLoop is called on this thread, or timeoutMs passes (0xFFFFFFFF: no
   limit). Returns a VokLoopExit value. */
int VokRunMessageLoop(int stopFd, uint32_t timeoutMs);

/* Makes the calling thread's current or next VokRunMessageLoop return VOK_LOOP_QUIT. */
void VokQuitMessageLoop(void);

/* A descriptor that poll reports readable while the calling thread has callbacks pending: put it
   in the application's own poll loop and call VokPumpMessages when it is readable. Owned by the
   thread's queue; do not close or read it. */
int VokMessageLoopFd(void);

/* Receives the text of a notice from the quote server (UTF-8), on a thread of the library. */
typedef void (*VokSuiteMessageHandler)(const char* text, void* context);

/* Registers the handler for server notices (null: none, the notice is only traced). */
void VokSetSuiteMessageHandler(VokSuiteMessageHandler handler, void* context);

/* The in-process class server's entry points, as on Windows (which declares them itself). */
HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
HRESULT DllCanUnloadNow(void);
HRESULT DllRegisterServer(void);
HRESULT DllUnregisterServer(void);

#endif /* !_WIN32 */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VOKQUOTE_API_H */
