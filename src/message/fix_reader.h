// Reading the FIX 4.1 tag=value form (SOH separated) into a message: tags and coded values are
// translated, the checksum is verified (problems go to the trace at level 4, the fields read stay)
// and order fields are normalised afterwards.
#pragma once

#include "message/parse_budget.h"

class VOKMessage;

class VOKFixReader {
 public:
  static void Read(VOKMessage& message, const char* text, int length, vok::message::CParseBudget& budget);
};
