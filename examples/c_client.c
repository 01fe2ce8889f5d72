/* What a C program (or a foreign-function caller) reaches of VokQuote: the version, the record
   types, and the string, variant and trace calls it needs to read records and free their
   strings. Exits 0 when the library agrees with the headers. */
#include <vokquote/vokquote.h>

#include <stdio.h>
#include <string.h>

int main(void) {
  static const OLECHAR kSymbol[] = {'M', 'S', 'F', 'T', 0};
  QUOTERECORD rec;
  VARIANT value;
  int failures = 0;

  printf("VokQuote %s\n", VokQuoteVersion());
  if (strcmp(VokQuoteVersion(), VOKQUOTE_VERSION_STRING) != 0) ++failures;

  /* A record's strings come from the library's allocator and go back to it. */
  memset(&rec, 0, sizeof rec);
  rec.bstrSymbol = SysAllocString(kSymbol);
  if (rec.bstrSymbol == NULL || SysStringLen(rec.bstrSymbol) != 4 || SysStringByteLen(rec.bstrSymbol) != 8) ++failures;
  SysFreeString(rec.bstrSymbol);
  rec.bstrSymbol = NULL;

  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(kSymbol, 2);
  if (VariantClear(&value) != S_OK || value.vt != VT_EMPTY) ++failures;

  VOKTRACE_Printf(VOKTRACE_INFO, "c_client: %d failures", failures);
  printf("%s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
