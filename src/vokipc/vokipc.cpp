// The socket transport's calls. Placeholder until the socket facility lands: every open fails.
#include "vokipc/vokipc.h"

void IpcConfigure(int) {}
void IpcStartup() {}
void IpcCleanup() {}
IPCHANDLE IpcOpenTcp(const char*, int, const IPCCALLBACKS*) { return 0; }
IPCHANDLE IpcOpenTcpAlt(const char*, int, const IPCCALLBACKS*) { return 0; }
IPCHANDLE IpcOpenDatagram(const char*, int, const IPCCALLBACKS*) { return 0; }
IPCHANDLE IpcOpenMulticast(const char*, const char*, int, const IPCCALLBACKS*) { return 0; }
int IpcSend(IPCHANDLE, const char*, int) { return 0; }
int IpcIsConnected(IPCHANDLE) { return 0; }
int IpcCloseTcp(IPCHANDLE) { return 0; }
int IpcCloseDatagram(IPCHANDLE) { return 0; }
