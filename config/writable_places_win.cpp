#include "config/writable_places.h"

namespace vorn {

// The installer puts the launcher into a folder of the player's own, so there is no second
// place to fall back to: a folder that cannot be written is reported by what fails in it.
UserBaseFolders userBaseFolders()
{
    return {};
}

} // namespace vorn
