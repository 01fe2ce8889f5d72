/* VokQuote's trace: one line per call with time, thread and level, written where VOKQUOTE_TRACE
   names (a file path or "stderr"; unset: nowhere) when the level is at least VOKQUOTE_TRACE_LEVEL
   (default 3). A client may add its own lines to the component's trace. Safe from any thread. */
#ifndef VOKQUOTE_TRACE_H
#define VOKQUOTE_TRACE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Trace levels: 1 detail, 2 information, 3 connection state, 4 warnings, 5 failures. */
enum VokTraceLevel {
  VOKTRACE_DETAIL = 1,
  VOKTRACE_INFO = 2,
  VOKTRACE_STATE = 3,
  VOKTRACE_WARNING = 4,
  VOKTRACE_FAILURE = 5
};

/* One trace line with a fixed text. A trailing line feed in text is not doubled. */
void VOKTRACE_Write(int level, const char* text);

/* One trace line formatted like printf. Nothing is formatted when no one listens at that level. */
void VOKTRACE_Printf(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VOKQUOTE_TRACE_H */
