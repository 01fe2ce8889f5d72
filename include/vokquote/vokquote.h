/* Everything a VokQuote client includes: the COM vocabulary, the records and interfaces, the
   library's calls, its trace and its version. C sees the types, the records and the calls. */
#ifndef VOKQUOTE_VOKQUOTE_H
#define VOKQUOTE_VOKQUOTE_H

#include <vokquote/api.h>
#include <vokquote/com.h>
#include <vokquote/records.h>
#include <vokquote/trace.h>
#include <vokquote/version.h>

#endif /* VOKQUOTE_VOKQUOTE_H */
