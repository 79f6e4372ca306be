#include "FileOperation.h"

#include <sys/stat.h>

namespace FileOperation {

bool Exists(const std::string& path)
{
    struct stat info = {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

} // namespace FileOperation
