// The page's files, read once when the listener starts.
#pragma once

#include <map>
#include <string>

namespace lantrel {

// The page's files under `folder` keyed by their path from it ("/app.js"),
// with "/" for "/index.html", leaving out those whose names start with ".";
// empty when the folder cannot be read.
std::map<std::string, std::string> LoadPageFiles(const std::string& folder);

}  // namespace lantrel
