#include "core/vector_paths.h"

#include <cstdlib>
#include <cstring>

namespace kordane {

bool vectorPathsAllowed()
{
    static const bool allowed = [] {
        const char* value = std::getenv("KORDANE_PORTABLE");
        return value == nullptr || *value == '\0' || std::strcmp(value, "0") == 0;
    }();
    return allowed;
}

} // namespace kordane
