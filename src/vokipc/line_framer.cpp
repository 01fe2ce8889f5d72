// CLineFramer: the out-of-line part, dropping an over-long line.
#include "vokipc/line_framer.h"

#include "vkdll/vkdll.h"

void CLineFramer::Discard(std::size_t seenBytes) {
  ++m_discardedLines;
  // Give the memory back: the pending text may be close to the limit.
  std::string().swap(m_pending);
  VOKTRACE_Printf(VOKTRACE_WARNING, "VOKIPC: discarding a line longer than %u bytes (%u bytes seen)",
                  static_cast<unsigned>(m_maxLine), static_cast<unsigned>(seenBytes));
}
