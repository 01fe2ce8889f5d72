// The socket transport's calls. Handles are unsigned 32-bit, 0 meaning failure. Callbacks arrive
// on the transport's own threads, one complete message text (NUL-terminated, without its line
// feed) per data call; after the closed callback, and after IpcCloseTcp returns, nothing more is
// called back for that handle.
#pragma once

#include <cstdint>

using IPCHANDLE = std::uint32_t;

struct IPCLINE {
  const char* text;  // NUL-terminated, without its line feed
  int length;
};

struct IPCCALLBACKS {
  void (*status)(IPCHANDLE handle, int code, int detail);
  void (*data)(IPCHANDLE handle, const char* text, int length);
  void (*closed)(IPCHANDLE handle);
  // Optional: every complete line of one socket read in one call, in order, so a receiver pays
  // its per-call costs once per read rather than once per line. The texts are valid until the
  // call returns. Returns how many lines it took, from the first; the transport hands the rest
  // on one by one through data (so a receiver that may close its handle takes none).
  int (*lines)(IPCHANDLE handle, const IPCLINE* lines, int count);
};

// Once at module load, before any other call.
void IpcConfigure(int options);
// Reference-counted library start and stop; every IpcStartup is matched by one IpcCleanup.
void IpcStartup();
void IpcCleanup();

// A connected stream, or 0. Returns only when the attempt is over (bounded connect time).
// The callback table must stay valid for the life of the process.
IPCHANDLE IpcOpenTcp(const char* address, int port, const IPCCALLBACKS* callbacks);
IPCHANDLE IpcOpenTcpAlt(const char* address, int port, const IPCCALLBACKS* callbacks);
// Why the calling thread's last IpcOpenTcp or IpcOpenTcpAlt returned 0, known at once when the
// open returns: the system's error code (errno on Linux: ECONNREFUSED, ETIMEDOUT when the 10 s
// connect bound passed, EHOSTUNREACH, ENETUNREACH, ...; the WSAE... code on Windows), EINVAL
// (WSAEINVAL) for a null or empty address, a port outside 1..65535 or no callback table, one of
// the two codes below when the name did not resolve, ENOMEM (WSA_NOT_ENOUGH_MEMORY) when the
// connection could not be set up. 0 after an open that succeeded.
int IpcLastOpenError();
// IpcLastOpenError when the address did not resolve. The values are Winsock's (WSAHOST_NOT_FOUND,
// WSATRY_AGAIN) and are used on Linux too, where no errno value comes near them.
inline constexpr int kIpcErrorHostNotFound = 11001;  // no such name, or no address for it
inline constexpr int kIpcErrorTryAgain = 11002;      // the resolver failed for now; may work later

// A TLS stream: IpcOpenTcp, then a TLS handshake within the same connect bound. The server's
// certificate is checked against the system's trust store and the host name (sent as SNI), or
// against caFile and the host name, or only against pinnedSha256 when that is set (see
// vok::STlsClientOptions). A failed handshake closes the connection with a level 5 trace naming
// the reason, and IpcLastOpenError says which of the two codes below; there is no fallback to
// clear text. Null or empty strings mean "not configured".
struct IPCTLSOPTIONS {
  const char* caFile;
  const char* pinnedSha256;
};
IPCHANDLE IpcOpenTls(const char* address, int port, const IPCCALLBACKS* callbacks, const IPCTLSOPTIONS* options);
// IpcLastOpenError after a TCP connect that worked but no TLS session came up: the server does
// not speak TLS, offers no version from 1.2 up, or the handshake ran out of time.
inline constexpr int kIpcErrorTlsHandshake = 11201;
// IpcLastOpenError when the server's certificate was refused: untrusted, expired, for another
// host name, or not the pinned one.
inline constexpr int kIpcErrorTlsRefused = 11202;

IPCHANDLE IpcOpenDatagram(const char* address, int port, const IPCCALLBACKS* callbacks);
IPCHANDLE IpcOpenMulticast(const char* interfaceAddress, const char* groupAddress, int port,
                           const IPCCALLBACKS* callbacks);

// Writes one whole message from any thread; nonzero on success.
int IpcSend(IPCHANDLE handle, const char* bytes, int length);
// Nonzero while the connection is up.
int IpcIsConnected(IPCHANDLE handle);
int IpcCloseTcp(IPCHANDLE handle);
int IpcCloseDatagram(IPCHANDLE handle);
