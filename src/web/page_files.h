// The page's files, read once when the listener starts.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lantrel {

struct PageFiles {
    // The path as asked for ("/app.js") and its bytes, with "/" for "/index.html".
    std::map<std::string, std::string> files;
    // Paths under the folder that are not served: links (or junctions) that
    // lead out of it, and folders that lead back to one above them.
    std::vector<std::string> leftOut;
};

// The page's files under `folder`, leaving out those whose names start with
// "." and whatever lies outside the folder itself; no files when the folder
// cannot be read.
PageFiles LoadPageFiles(const std::string& folder);

}  // namespace lantrel
