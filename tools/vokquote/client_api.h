// What vokquote sees of the quote service: the installed public headers only, like any other
// client, with their C++ owners under the tool's names, and the tool's own thread checker (the
// component's is internal). Every source of the tool that talks to the service includes this.
#pragma once

#include <vokquote/com_ptr.h>
#include <vokquote/vokquote.h>

#include <cassert>
#include <thread>

namespace vok::cli {

using vokquote::CBstr;
using vokquote::CComPtr;

// A main-thread object holds one and asserts with VOK_CLI_DCHECK_THREAD that it is used on the
// thread that made it. Release builds keep an empty member.
class CThreadChecker {
 public:
#ifndef NDEBUG
  bool CalledOnValidThread() const { return m_owner == std::this_thread::get_id(); }

 private:
  std::thread::id m_owner = std::this_thread::get_id();
#endif
};

#ifndef NDEBUG
#define VOK_CLI_DCHECK_THREAD(checker) assert((checker).CalledOnValidThread())
#else
#define VOK_CLI_DCHECK_THREAD(checker) ((void)0)
#endif

}  // namespace vok::cli
