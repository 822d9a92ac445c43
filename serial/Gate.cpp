#include "serial/Gate.h"

void Gate::release()
{
    Busy = false;
    emit released();
}
