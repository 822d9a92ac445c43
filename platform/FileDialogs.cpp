#include "platform/FileDialogs.h"

FileDialogs::~FileDialogs() = default;
