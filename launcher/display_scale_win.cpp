#include "launcher/display_scale.h"

namespace vorn {

Qt::HighDpiScaleFactorRoundingPolicy displayScaleRounding()
{
    // Windows states the factor the user chose (120, 144 dpi ...): take it as it is.
    return Qt::HighDpiScaleFactorRoundingPolicy::PassThrough;
}

} // namespace vorn
