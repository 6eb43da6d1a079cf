// The student's folders (documents, desktop, the transfer folder for received files) and two
// file-system helpers. Stateless; any thread (the transfer folder reads the settings suite, which
// is thread-safe).
#pragma once

#include <string>

class ZQFile {
public:
    // The settings value that selects the desktop as the transfer folder; any other value (another
    // letter case included) selects the documents folder.
    static constexpr const char* kTransferPathKey = "macOS-transferPath";
    static constexpr const char* kDesktopChoice = "DeskTop";

    static std::string getDocumentPath();
    static std::string getDesktopPath();
    static std::string getTransferPath();

    // Whether anything (a folder counts) exists at folder/name.
    static bool isFile(const std::string& folder, const std::string& name);
    // Creates folder/name with every missing parent; true when it exists as a folder afterwards.
    static bool NewDir(const std::string& folder, const std::string& name);
};
