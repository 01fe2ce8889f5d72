/* The free functions of the VokQuote library, all with C linkage: creating the quote service
   object, the library's version, and on Linux the calls that run the calling thread's message
   loop (every subscription callback is delivered through it, on the thread that subscribed) and
   the handler for the server's "logged in elsewhere" notices; and the recording of what the
   server sends into a capture file, with the reading of such a file's lines.

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

/* Codes OnConnect carries besides the system's error numbers: the TLS handshake failed (the
   server does not speak TLS, offers nothing from 1.2 up, or ran out of time), or the server's
   certificate was refused (untrusted, expired, another host's, or not the pinned one). */
enum VokConnectError { VOK_ERROR_TLS_HANDSHAKE = 11201, VOK_ERROR_TLS_REFUSED = 11202 };

/* The connection's fixed delays: a failed connect is tried again after VOK_CONNECT_RETRY_MS; a
   dropped connection is reopened after VOK_RECONNECT_BASE_MS plus zero to four steps of
   VOK_RECONNECT_STEP_MS, chosen at random. */
enum VokConnectionDelay { VOK_CONNECT_RETRY_MS = 20000, VOK_RECONNECT_BASE_MS = 10000, VOK_RECONNECT_STEP_MS = 1000 };

/* Records every line the quote server sends, with its receive time in nanoseconds since 1970 UTC,
   and the connection events between them into the capture file at path (appended; a new file gets
   the header). Null or "" stops recording. S_OK, or E_FAIL when the file cannot be opened or is
   not a capture file; nothing is recorded then. The per-user setting "CaptureFile" starts the
   same recording at Connect when none runs. */
HRESULT VokSetCaptureFile(const char* path);

/* One line of a capture file (without its line feed), as VokParseCaptureLine reads it. */
enum VokCaptureLine { VOK_CAPTURE_OTHER = 0, VOK_CAPTURE_HEADER = 1, VOK_CAPTURE_RECORD = 2 };
typedef struct VokCaptureRecord {
  int64_t timeNs;   /* receive time, nanoseconds since 1970 UTC */
  char kind;        /* 'D' a line the server sent, 'E' a connection event */
  const char* text; /* into the parsed line: the server's line, or "connected 3", "start" ... */
  size_t length;
} VokCaptureRecord;

/* Returns a VokCaptureLine value; fills record for VOK_CAPTURE_RECORD, and record->timeNs with the
   format's version for VOK_CAPTURE_HEADER. */
int VokParseCaptureLine(const char* line, size_t length, VokCaptureRecord* record);

/* The feed's statistics: what the quote server sent, per message type, since the library loaded
   (rates come from two readings), the pump queue, and how connections ended. */
enum VokFeedType {
  VOK_FEED_LEVEL1 = 0, /* '1' */
  VOK_FEED_LEVEL1_ALT, /* 'N' */
  VOK_FEED_LEVEL2,     /* '2' */
  VOK_FEED_TIME_SALES, /* '3' */
  VOK_FEED_OPTIONS,    /* '4' */
  VOK_FEED_LOGON_REPLY,
  VOK_FEED_HEARTBEAT,
  VOK_FEED_NOTICE,
  VOK_FEED_OTHER, /* types a server may not send: dropped */
  VOK_FEED_TYPE_COUNT
};
enum VokDisconnectReason {
  VOK_DISCONNECT_NONE = 0,
  VOK_DISCONNECT_CLOSED = 1,         /* the server closed the stream or the network failed */
  VOK_DISCONNECT_HEARTBEAT = 2,      /* nothing arrived between two heartbeat ticks */
  VOK_DISCONNECT_NOTICE = 3,         /* the user logged in elsewhere */
  VOK_DISCONNECT_CONNECT_FAILED = 4, /* a connect failed; lastError is the system's code */
  VOK_DISCONNECT_REQUESTED = 5       /* the host called Disconnect */
};
typedef struct VokFeedStatistics {
  int64_t timeNs; /* when read, nanoseconds since 1970 UTC */
  uint64_t messages[VOK_FEED_TYPE_COUNT];
  uint64_t bytes[VOK_FEED_TYPE_COUNT];
  uint64_t pumpQueueDepth;     /* messages waiting for the pump thread now */
  uint64_t pumpQueueHighWater; /* the most that ever waited */
  uint64_t connects;           /* connections made; reconnects are those after the first */
  uint64_t disconnects;        /* connections that ended */
  uint64_t connectFailures;
  int32_t lastDisconnectReason; /* a VokDisconnectReason */
  int32_t lastError;
} VokFeedStatistics;

/* One subscriber thread's delivery queue. */
typedef struct VokSubscriberStatistics {
  uint32_t threadId;
  uint64_t depth;     /* records waiting for the thread's next drain */
  uint64_t highWater; /* the most that ever waited */
  uint64_t conflated; /* waiting snapshots replaced by a newer one of the same symbol */
  uint64_t dropped;   /* time and sales prints dropped, oldest first */
  uint64_t delivered; /* records handed to the thread's callbacks so far */
  /* Drain latency: from a record entering the thread's queue to its delivery on the thread, over
     a sample of one record in eight (the maximum is the sample's). p50 and p99 are within a
     quarter above the true value and never above the maximum; all 0 before the first sampled
     delivery. */
  uint64_t drainP50Ns;
  uint64_t drainP99Ns;
  uint64_t drainMaxNs;
} VokSubscriberStatistics;

/* Fills stats. E_POINTER for null. */
HRESULT VokGetFeedStatistics(VokFeedStatistics* stats);
/* Fills at most capacity entries, one per thread with a delivery queue, and sets *count to the
   number of such threads (which may be more than capacity). */
HRESULT VokGetSubscriberStatistics(VokSubscriberStatistics* entries, size_t capacity, size_t* count);

/* One subscribed symbol of one service and when its last data message arrived. */
typedef struct VokSymbolUpdate {
  char symbol[68];      /* NUL-terminated */
  int32_t serviceFlag;  /* an enumQuoteServiceFlags value */
  int64_t lastUpdateNs; /* ns since 1970 UTC; 0: nothing since the subscription or the last logon */
} VokSymbolUpdate;

/* For the quote service object `quotes` (any interface pointer of an object created in this
   process, not a proxy): fills at most capacity entries, one per subscribed symbol and service,
   and sets *count to how many there are. A host tells a stale symbol from the time of its last
   update: after every reconnect each symbol counts as stale until its first fresh update.
   E_NOINTERFACE for anything but such an object. */
HRESULT VokGetLastUpdates(void* quotes, VokSymbolUpdate* entries, size_t capacity, size_t* count);

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
