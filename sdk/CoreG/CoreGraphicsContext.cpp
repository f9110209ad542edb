#include "CoreGraphicsContext.h"

bool import_CoreGraphicsContext()
{
    return true;
}
