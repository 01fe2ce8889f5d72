// The per-message parse caps; see parse_budget.h.
#include "message/parse_budget.h"

#include "vkdll/vkdll.h"

namespace vok::message {

void CParseBudget::Report() const {
  if (m_skippedFields == 0 && m_skippedEntries == 0 && m_skippedGroups == 0) return;
  VOKTRACE_Printf(VOKTRACE_WARNING,
                  "VOKMessage::Parse: over the limits, skipped %d fields, %d group entries and %d nested groups "
                  "(at most %d fields a map, %d a bucket, %d entries, %d nodes, %d group levels)",
                  m_skippedFields, m_skippedEntries, m_skippedGroups, kMaxFieldsPerMap, kMaxChain, kMaxGroupEntries,
                  kMaxNodes, kMaxGroupDepth);
}

}  // namespace vok::message
