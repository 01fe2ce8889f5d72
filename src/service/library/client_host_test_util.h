// The platform's half of the library's client test: how a client creates the object, reaches the
// library's exports, keeps its thread's messages flowing and finds a quote server. Linux uses
// libvokquote.so and an in-process simulator; Windows the registered VokQuote.dll under Wine and
// the simulator the test run started.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/vokquote.h"

namespace vok::test {

// Creates VokQuotes the way a client of the platform does: VokQuotesCreate, or CoCreateInstance
// by ProgID.
HRESULT CreateVokQuotes(REFIID riid, void** object);
// Calls the library's DllGetClassObject export.
HRESULT LibraryClassObject(REFCLSID clsid, REFIID riid, void** object);
// Calls one of the library's entry points without arguments (DllCanUnloadNow, DllRegisterServer,
// DllUnregisterServer).
HRESULT CallLibrary(const char* entry);
// Whether the class registry names this library's file as the in-process server.
bool IsLibraryPath(const std::string& path);
// Delivers this thread's callbacks and events until done() holds; false after timeoutMs.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs = 20000);
// "host:port" of a simulator that knows the test user.
std::string ServerAddress();
// The lines the simulator received on the first session, or nothing where it runs in another
// process.
std::optional<std::vector<std::string>> ServerLines();
// Windows delivers events into the client's apartment; Linux on the thread that fires them.
extern const bool kEventsOnClientThread;

}  // namespace vok::test
