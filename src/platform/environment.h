// Process environment variables: the component reads its trace and settings locations from them,
// and tests point those at temporary files.
#pragma once

namespace vok {

// Sets name=value for this process; an empty value removes the variable.
void SetEnvironmentValue(const char* name, const char* value);

}  // namespace vok
