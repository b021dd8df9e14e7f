#include "commandline/FileNames.h"

namespace tw {

std::string baseName(const std::string &path) {
    const std::string::size_type slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withMidExtension(const std::string &name) {
    const std::string::size_type dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    return extension == ".mid" ? name : name + ".mid";
}

std::string titleSuffixFor(const std::string &path) {
    const std::string base = baseName(path);
    return base.empty() ? std::string() : " - " + base;
}

} // namespace tw
