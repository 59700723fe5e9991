#include "web/page_files.h"

#include "platform/files.h"

namespace lantrel {

namespace {

// Folders below the page's that are read: a deeper one is a link back up.
constexpr int kMaxPageDepth = 8;

// Adds the files under `folder` to `files`, each under `prefix` + its name.
// Files and folders whose names start with "." (.git, .env) are not the
// page's: never served (RouteTarget), so not read either.
void AddPageFiles(const std::string& folder, const std::string& prefix, int depth,
                  std::map<std::string, std::string>& files) {
    const FolderListing listing = ListFolder(folder);
    for (const std::string& name : listing.files) {
        if (name.starts_with(".")) continue;
        if (auto bytes = ReadWholeFile(folder + "/" + name))
            files[prefix + name] = std::move(*bytes);
    }
    if (depth == kMaxPageDepth) return;
    for (const std::string& name : listing.folders)
        if (!name.starts_with("."))
            AddPageFiles(folder + "/" + name, prefix + name + "/", depth + 1, files);
}

}  // namespace

std::map<std::string, std::string> LoadPageFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    AddPageFiles(folder, "/", 0, files);
    if (files.count("/index.html")) files["/"] = files["/index.html"];
    return files;
}

}  // namespace lantrel
