// VOKMessage: the unit exchanged with a quote server. A type character and a map of typed fields,
// read from and written to the line form ("T|id=value;id=value\n") and the FIX 4.1 form.
// Parsing never throws on wire data and skips what it cannot read. ToString/ToFIX return text held
// in the calling thread's buffer, valid until that thread writes its next line. A message is not
// locked: one thread builds or reads it at a time; any number of threads parse and write at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "message/vok_field.h"
#include "message/vok_field_map.h"
#include "message/vok_group.h"
#include "platform/block_pool.h"

class VOKMessage {
 public:
  VOKMessage() = default;
  // Parses text (length < 0: up to its terminating NUL).
  VOKMessage(const char* text, int length);
  // Copies follow the field-map order of the source through SetField (deep copies of groups).
  VOKMessage(const VOKMessage& other);
  VOKMessage& operator=(const VOKMessage& other);
  VOKMessage(VOKMessage&& other) noexcept = default;
  VOKMessage& operator=(VOKMessage&& other) noexcept = default;
  ~VOKMessage() = default;

  // Messages parsed on a transport thread are freed on the pump thread, many thousands a second:
  // their memory comes from the block pool, which moves freed blocks back without a heap lock.
  static void* operator new(std::size_t bytes) { return vok::PoolAllocate(bytes); }
  static void operator delete(void* block) noexcept { vok::PoolFree(block); }

  // Removes every field, sets type 0 and routing value 0 (dropping any routing list).
  void Clear();

  // The type character, sign-extended; 0 means none.
  int GetType() const { return m_type; }
  void SetType(char type) { m_type = static_cast<signed char>(type); }

  // Adds the fields of a line-form or FIX-form text (FIX when longer than 5 characters and the
  // second is not '|'). Malformed parts are skipped; a bad FIX checksum is traced at level 4, and
  // so is a text that holds more fields or group entries than one message may (parse_budget.h).
  void Parse(const char* text, int length);

  // Empty only when the thread could get no text buffer (traced at level 5): nothing to send.
  const std::string& ToString() const;
  const std::string& ToFIX() const;
  // Writes the line form to the trace ("%s %s" with a prefix). The logon password is masked.
  void Log(const char* prefix, int level) const;

  // Getters return false, leaving the output untouched, for a group field id, an absent field or
  // a failed conversion.
  bool GetString(int fid, std::string& value) const;
  bool GetString(int fid, char* buffer, int size) const;
  bool GetInt(int fid, int& value) const;
  bool GetLong(int fid, long& value) const;
  bool GetDouble(int fid, double& value) const;
  bool GetUInt64(int fid, std::uint64_t& value) const;

  // Refused (nothing happens) for a group field id.
  void SetString(int fid, const char* text);
  void SetText(int fid, std::string_view text);  // SetString for text that is not NUL-terminated
  void SetInt(int fid, int value);
  // Unguarded forms for internal use: never refuse.
  void SetString(int fid, const std::string& text);
  void SetInt(int fid, const int* value);
  void SetDouble(int fid, double value);
  void SetUInt64(int fid, std::uint64_t value);
  // Deep copy of field (groups included) into fid.
  void SetField(int fid, const VOKField& field);
  void SetField(int fid, VOKField&& field);

  // Direct access to the stored field: no conversion, no group check.
  bool Lookup(int fid, VOKField*& field);
  bool Lookup(int fid, const VOKField*& field) const;
  bool HasField(int fid) const { return m_fields.Find(fid) != nullptr; }
  bool RemoveKey(int fid);
  int GetFieldCount() const { return m_fields.GetCount(); }
  const VOKFieldMap& Fields() const { return m_fields; }

  // Group access: fid must be a group field id, otherwise nothing happens (0 / false).
  bool AddGroup(int fid);
  int GetGroupCount(int fid) const;
  bool GetGroupEntry(int fid, int index, VOKMessage*& entry) const;
  void AddGroupEntry(int fid, const VOKMessage& entry);
  bool ResetGroup(int fid);
  bool GetNextGroupEntry(int fid, VOKMessage*& entry);

  // SetField for every field of source; the type is untouched.
  void CopyFields(const VOKMessage& source);
  // Copies each listed field present in source; with onlyIfMissing, ids already here are kept.
  void CopyFields(const VOKMessage& source, std::span<const int> ids, bool onlyIfMissing);

  // Routing of internal messages: a plain value, or a list (the value then reads -100 in copies).
  int GetRoutingValue() const { return m_routingValue; }
  void SetRoutingValue(int value);
  const std::vector<std::uint32_t>* GetRoutingList() const { return m_routingList.get(); }
  void SetRoutingList(std::vector<std::uint32_t> list);

 private:
  friend class VOKLineReader;
  friend class VOKFixReader;
  friend class VOKFixWriter;

  const VOKGroup* FindGroup(int fid) const;
  VOKGroup* FindGroup(int fid);

  VOKFieldMap m_fields;
  std::int32_t m_type = 0;
  std::int32_t m_routingValue = 0;
  std::unique_ptr<std::vector<std::uint32_t>> m_routingList;
};
