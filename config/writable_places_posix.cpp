#include "config/writable_places.h"

#include <QDir>

namespace vorn {

UserBaseFolders userBaseFolders()
{
    return xdgBaseFolders(QProcessEnvironment::systemEnvironment(), QDir::homePath());
}

} // namespace vorn
