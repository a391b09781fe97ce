#pragma once

#include <string_view>

// The parameter names a packet writes as attributes of PARAMS or FIELD, with the
// type each is read back as. Any other parameter is a PARAM child element.
// Returns nullptr for a name that is not one of them.
const char* KnownParamType(std::string_view name);
