#include "web/page_files.h"

#include <algorithm>

#include "platform/files.h"

namespace lantrel {

namespace {

// Folders below the page's that are read: links inside it may branch, but
// not for ever.
constexpr int kMaxPageDepth = 8;

struct PageWalk {
    std::string root;                // the page's folder, its real path
    std::vector<std::string> above;  // the real paths of the folders being read
    PageFiles pages;
};

// Adds the files under the folder `real` (its real path) to the walk's pages,
// each under `prefix` + its name. Files and folders whose names start with "."
// (.git, .env) are not the page's: never served (RouteTarget), so not read
// either. A name that stands for a file or folder outside the root (a link to
// /etc/passwd, a junction to another drive) is left out; so is a folder that
// is one of those above it (a link loop). Each file is read by its real path,
// the one checked.
void AddPageFiles(PageWalk& walk, const std::string& real, const std::string& prefix, int depth) {
    walk.above.push_back(real);
    const FolderListing listing = ListFolder(real);
    for (const std::string& name : listing.files) {
        if (name.starts_with(".")) continue;
        const auto target = RealPath(ResolvePath(real, name));
        if (!target || !PathWithin(walk.root, *target)) {
            walk.pages.leftOut.push_back(prefix + name);
        } else if (auto bytes = ReadWholeFile(*target)) {
            walk.pages.files[prefix + name] = std::move(*bytes);
        }
    }
    for (const std::string& name : listing.folders) {
        if (name.starts_with(".") || depth == kMaxPageDepth) continue;
        const auto target = RealPath(ResolvePath(real, name));
        const bool loop =
            target && std::find(walk.above.begin(), walk.above.end(), *target) != walk.above.end();
        if (!target || !PathWithin(walk.root, *target) || loop) {
            walk.pages.leftOut.push_back(prefix + name + "/");
        } else {
            AddPageFiles(walk, *target, prefix + name + "/", depth + 1);
        }
    }
    walk.above.pop_back();
}

}  // namespace

PageFiles LoadPageFiles(const std::string& folder) {
    PageWalk walk;
    const auto root = RealPath(folder);
    if (!root) return {};
    walk.root = *root;
    AddPageFiles(walk, walk.root, "/", 0);
    auto& files = walk.pages.files;
    if (files.count("/index.html")) files["/"] = files["/index.html"];
    return std::move(walk.pages);
}

}  // namespace lantrel
