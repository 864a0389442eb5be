#pragma once
// The settings a sensor keeps in its flash: the parameter values and the product text, saved
// by "store to flash" into the file given by --state and read back at the next start.

#include <map>
#include <string>

namespace sim {

struct Param;

// One "command value" line per parameter, then a line "product", then the product text.
bool saveFlashState(const std::string& path, const std::map<int, Param>& params,
                    const std::string& productText);
// Takes the values (within each parameter's range) and the text of a saved state; false when
// there is no readable file (nothing changes then).
bool loadFlashState(const std::string& path, std::map<int, Param>& params,
                    std::string& productText);

} // namespace sim
