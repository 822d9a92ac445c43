#pragma once

#include <QString>

#include <filesystem>

// A path between the program's texts and the file system. On Windows it travels as UTF-16, so a
// name with characters outside the ANSI code page reaches the file; elsewhere as the file
// system's own bytes (QFile::encodeName).
std::filesystem::path toFilePath(const QString& path);
QString fromFilePath(const std::filesystem::path& path);
