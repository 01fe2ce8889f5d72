// CEnumConnections: a snapshot of a connection point's sinks and cookies, as EnumConnections hands
// it out; CEnumConnectionPoints: a container's connection points, as EnumConnectionPoints hands
// them out. Each enumerator holds its own copy of the list.
#pragma once

#include "platform/com.h"
#include "platform/com_ptr.h"
#include "service/snapshot_enum.h"

struct SConnectionsEnumTraits {
  using Interface = IEnumConnections;
  using Element = CONNECTDATA;
  struct Entry {
    vok::CComPtr<IUnknown> sink;
    DWORD cookie;
  };
  static const IID& Iid() { return IID_IEnumConnections; }
  static void Copy(const Entry& entry, CONNECTDATA& data) {
    data.pUnk = entry.sink.Get();
    data.pUnk->AddRef();  // the caller releases each returned sink
    data.dwCookie = entry.cookie;
  }
};
using CEnumConnections = CSnapshotEnum<SConnectionsEnumTraits>;

struct SConnectionPointsEnumTraits {
  using Interface = IEnumConnectionPoints;
  using Element = IConnectionPoint*;
  using Entry = vok::CComPtr<IConnectionPoint>;
  static const IID& Iid() { return IID_IEnumConnectionPoints; }
  static void Copy(const Entry& entry, IConnectionPoint*& point) {
    point = entry.Get();
    point->AddRef();  // the caller releases each returned point
  }
};
using CEnumConnectionPoints = CSnapshotEnum<SConnectionPointsEnumTraits>;
