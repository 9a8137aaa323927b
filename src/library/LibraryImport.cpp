#include "library/LibraryImport.h"

#include "library/UsbImport.h"
#include "library/XmlImport.h"
#include "support/FileIo.h"

#include <filesystem>
#include <system_error>

namespace vyn {

ImportResult importLibraryPath(Catalogue& catalogue, const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(pathFromUtf8(path), ec) ? importUsbStick(catalogue, path)
                                                                 : importXmlFile(catalogue, path);
}

} // namespace vyn
