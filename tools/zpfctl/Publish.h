#pragma once

#include <string>

namespace zpfctl {

/// Makes the tree an update server serves from a folder of plain files: "category2.cnf",
/// "target.fdb", "nofilup.fdb", "nofildow.fdb" and each category's key file (each may be
/// named with ".txt" after it), and "VTLImage.bmp" (a small plain image when missing).
/// Writes them into outDir + "/zpfl/", enciphered, each ending with the end line. With a
/// server, every category's address becomes server + "zpfl/" + its key file. False, with
/// the reason in error, when a file is missing or cannot be written.
bool PublishDatabase(const std::string& srcDir, const std::string& outDir, const std::string& server,
                     std::string& error);

} // namespace zpfctl
