#include "simulator/flashstate.h"

#include "simulator/connection.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

namespace {
const char* const productMarker = "product";
}

bool saveFlashState(const std::string& path, const std::map<int, Param>& params,
                    const std::string& productText)
{
    // Written beside the target and renamed, so a crash never leaves half a state.
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto& [command, p] : params)
            if (p.writable)
                out << command << ' ' << p.value << '\n';
        out << productMarker << '\n' << productText;
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool loadFlashState(const std::string& path, std::map<int, Param>& params, std::string& productText)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line == productMarker) {
            std::ostringstream rest;
            rest << in.rdbuf();
            productText = rest.str();
            break;
        }
        std::istringstream fields(line);
        int command = 0;
        long long value = 0;
        if (!(fields >> command >> value))
            continue;
        const auto it = params.find(command);
        if (it != params.end() && it->second.writable && value >= it->second.minimum &&
            value <= it->second.maximum)
            it->second.value = int32_t(value);
    }
    return true;
}

} // namespace sim
