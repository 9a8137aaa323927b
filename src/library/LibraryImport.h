#pragma once
// One entry for "import this library": a folder is a rekordbox USB stick export, a file is an
// XML collection export. Takes the catalogue lock only for the merge, like both importers.

#include "library/ImportCounts.h"

#include <string>

namespace vyn {

class Catalogue;

ImportResult importLibraryPath(Catalogue& catalogue, const std::string& path);

} // namespace vyn
