// The constant FIX translation tables; see fix_tables.h. The pair lists below are the whole
// vocabulary; the 14000-entry lookup arrays are built from them at compile time.
#include "message/fix_tables.h"

#include <array>
#include <utility>

namespace vok::message {
namespace {

using Pair = std::pair<int, int>;

// internal id, FIX tag
constexpr Pair kInternalToFix[] = {
    {1012, 1},     {1051, 7},     {1052, 16},    {1000, 11},     {5030, 15},     {1050, 17},     {1037, 18},
    {1054, 19},    {2081, 21},    {2042, 30},    {1019, 34},     {1010, 37},     {1002, 38},     {1007, 40},
    {1070, 43},    {1004, 44},    {100, 49},     {1071, 50},     {1001, 54},     {1003, 55},     {132, 56},
    {138, 57},     {1011, 58},    {1005, 59},    {1013, 76},     {1040, 77},     {1069, 83},     {1017, 99},
    {1016, 100},   {1009, 111},   {1144, 112},   {1073, 115},    {1077, 117},    {1046, 126},    {1508, 129},
    {1134, 132},   {1135, 133},   {1136, 142},   {1106, 167},    {1032, 168},    {1035, 198},    {2040, 200},
    {2038, 201},   {2035, 202},   {1039, 203},   {1120, 205},    {1027, 211},    {1074, 263},    {2034, 311},
    {1146, 336},   {1036, 389},   {1058, 434},   {1107, 442},    {1072, 526},    {1147, 527},    {1109, 529},
    {1121, 541},   {133, 554},    {1089, 555},   {1506, 564},    {1119, 566},    {1126, 583},    {1500, 600},
    {1509, 607},   {1501, 608},   {1502, 610},   {1512, 611},    {1503, 612},    {1504, 623},    {1505, 624},
    {1057, 640},   {1507, 654},   {1122, 839},   {1068, 851},    {1132, 869},    {10032, 899},   {1133, 1028},
    {1137, 1603},  {1138, 1604},  {1139, 1605},  {1045, 9397},   {1102, 9723},   {1042, 9730},   {5008, 10011},
    {5009, 10012}, {5006, 10013}, {5007, 10014}, {5010, 10015},  {1018, 10016},  {1038, 10017},  {1030, 10021},
    {1041, 10022}, {109, 10023},  {5026, 10025}, {1048, 10026},  {1049, 10027},  {8024, 10029},  {1053, 10030},
    {5029, 10031}, {1055, 10033}, {1075, 10035}, {1076, 10036},  {10037, 10037}, {1078, 10042},  {1124, 10055},
    {1101, 10056}, {1108, 10058}, {1112, 10063}, {10110, 10064}, {1114, 10065},  {1115, 10066},  {1116, 10067},
    {1117, 10068}, {1118, 10069}, {1123, 10072}, {1125, 10073},  {1113, 847},    {1092, 10200},  {1110, 10301},
    {1111, 10302}, {1105, 10500}, {1090, 10900}, {1091, 10901},  {1104, 10903},  {10111, 10906}, {10112, 10070},
};

// Tags whose internal id depends on the message (31, 32, 38, 44) or that are never read.
constexpr int kNotReadBack[] = {34, 38, 44, 49, 263, 554, 9723, 10023, 10070};

// FIX tag, internal id: tags read but never written.
constexpr Pair kFixOnly[] = {
    {6, 1015},     {12, 1056},    {14, 1014},    {35, 0},       {39, 1099},    {41, 1028},    {52, 30057},
    {60, 1021},    {61, 1066},    {109, 1024},   {114, 114},    {116, 1088},   {137, 1059},   {139, 1060},
    {148, 1067},   {150, -2},     {151, 1043},   {216, 1064},   {217, 1065},   {326, 1061},   {330, 1062},
    {331, 1063},   {334, 1145},   {340, 1095},   {372, 1096},   {375, 1025},   {376, 1034},   {379, 1097},
    {380, 1093},   {10000, 5012}, {10001, 5013}, {10002, 5020}, {10003, 5011}, {10004, 5016}, {10005, 127},
    {10006, 5021}, {10007, 5022}, {10008, 5023}, {10009, 5004}, {10018, 5018}, {10020, 5024}, {10024, 5025},
    {10032, 5027}, {10034, 5031}, {10040, 5005}, {10043, 1079}, {10047, 5033}, {10048, 5032}, {10051, 1510},
    {10057, 1103}, {10075, 1142}, {10080, 5034}, {10081, 1141}, {10150, 1511}, {10300, 1094}, {10902, 1100},
};

using Table = std::array<int, kFixTableSize>;

constexpr Table BuildInternalToFix() {
  Table table{};
  for (int& entry : table) entry = -1;
  for (const auto& [id, tag] : kInternalToFix) table[id] = tag;
  return table;
}

constexpr Table BuildFixToInternal() {
  Table table{};
  for (int& entry : table) entry = -1;
  for (const auto& [id, tag] : kInternalToFix) table[tag] = id;
  for (int tag : kNotReadBack) table[tag] = -1;
  for (const auto& [tag, id] : kFixOnly) table[tag] = id;
  return table;
}

constexpr Table kInternalToFixTable = BuildInternalToFix();

constexpr int Count(const Table& table) {
  int count = 0;
  for (int entry : table) count += entry != -1 ? 1 : 0;
  return count;
}

struct TypeName {
  std::string_view fix;
  char internal;
};

constexpr TypeName kMessageTypes[] = {
    {"0", '9'}, {"1", '9'}, {"5", '5'}, {"9", 'J'}, {"A", 'G'}, {"AB", 'O'}, {"AC", 'T'}, {"B", 'Y'}, {"BA", 'B'},
    {"D", 'O'}, {"F", 'C'}, {"G", 'T'}, {"f", '3'}, {"j", '6'}, {"p", 'F'},  {"t", 'B'},  {"x", 'M'},
};

constexpr TypeName kExecutionTypes[] = {
    {"0", 'A'}, {"1", 'E'}, {"2", 'E'}, {"F", 'E'}, {"3", 'X'}, {"4", 'X'}, {"7", 'X'},
    {"C", 'X'}, {"5", 'W'}, {"6", 'C'}, {"8", 'R'}, {"9", 'S'}, {"A", 'O'}, {"D", 'Z'},
    {"E", 'T'}, {"H", 'H'}, {"I", 'Q'}, {"K", 'K'}, {"R", 'U'},
};

}  // namespace

constexpr std::array<int, kFixTableSize> kFixToInternalTable = BuildFixToInternal();

const char* FixVersion() { return "4.1"; }

int InternalToFixTag(int id) { return id >= 1 && id < kFixTableSize ? kInternalToFixTable[id] : -1; }

int FixMessageTypeToInternal(std::string_view value, int current) {
  if (value.empty() || value.size() > 2) return current;
  for (const TypeName& type : kMessageTypes) {
    if (type.fix[0] == value[0] && type.fix == value) return type.internal;
  }
  return current;
}

int FixExecutionTypeToInternal(std::string_view value, int current) {
  // The execution type is one character; only the first is examined.
  if (value.empty()) return current;
  for (const TypeName& type : kExecutionTypes) {
    if (type.fix[0] == value[0]) return type.internal;
  }
  return current;
}

const char* InternalToFixMessageType(int type, bool heartbeatTest, bool multileg) {
  switch (type) {
    case '9':
      return heartbeatTest ? "1" : "0";
    case 'B':
      return "t";
    case 'C':
      return multileg ? "AC" : "F";
    case 'H':
      return "BB";
    case 'L':
      return "A";
    case 'O':
      return multileg ? "AB" : "D";
    case 'T':
      return "G";
    default:
      return "";
  }
}

int CountInternalToFix() { return Count(kInternalToFixTable); }
int CountFixToInternal() { return Count(kFixToInternalTable); }

}  // namespace vok::message
