#include "platform/Messenger.h"

Messenger::~Messenger() = default;
