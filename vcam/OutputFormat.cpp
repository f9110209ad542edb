#include "OutputFormat.h"
