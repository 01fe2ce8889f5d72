// The component's public types for C++: records, enumerations, interfaces, DISPIDs and GUIDs. They
// are a binary contract with separately compiled clients, declared once in <vokquote/records.h>;
// records_test checks them against the compiled type library.
#pragma once

#include <vokquote/records.h>
