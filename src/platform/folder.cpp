#include "platform/folder.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>

namespace quillon {

bool FOLDER_List(const char* folder, std::vector<Path, MemAllocator<Path>>* out) {
    DIR* dir = opendir(folder);
    if (!dir) return false;
    struct Closer {
        DIR* dir;
        ~Closer() { closedir(dir); }
    } closer{dir};
    Path prefix(folder);
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix.push_back('/');
    out->clear();
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        out->push_back(prefix + entry->d_name);
    }
    std::sort(out->begin(), out->end());
    return true;
}

}  // namespace quillon
