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

/* The library's version as "major.minor.patch", the same as VOKQUOTE_VERSION_STRING of the
   headers it was built with. */
const char* VokQuoteVersion(void);

/* Codes OnConnect carries besides the system's error numbers: the TLS handshake failed (the
   server does not speak TLS, offers nothing from 1.2 up, or ran out of time), or the server's
   certificate was refused (untrusted, expired, another host's, or not the pinned one). */
enum VokConnectError { VOK_ERROR_TLS_HANDSHAKE = 11201, VOK_ERROR_TLS_REFUSED = 11202 };

/* The connection's fixed delays: a failed connect is tried again after VOK_CONNECT_RETRY_MS; a
   dropped connection is reopened after VOK_RECONNECT_BASE_MS plus zero to four steps of
   VOK_RECONNECT_STEP_MS, chosen at random. */
enum VokConnectionDelay { VOK_CONNECT_RETRY_MS = 20000, VOK_RECONNECT_BASE_MS = 10000, VOK_RECONNECT_STEP_MS = 1000 };

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

/* For a program that takes the TLS choice on its command line: every connect attempt of the
   process from now on uses TLS when useTls is non-zero, trusting the CAs of the PEM file caFile
   (null or empty: the system's store) or only the certificate whose SHA-256 fingerprint is
   pinnedSha256 (64 hex digits; null or empty: none), whatever the per-user settings "UseTls",
   "TlsCaFile" and "TlsPinnedCertificate" say. VokClearTlsOverride returns to those settings. */
void VokOverrideTls(int useTls, const char* caFile, const char* pinnedSha256);
void VokClearTlsOverride(void);

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
