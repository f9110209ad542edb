// Filter plug-ins installed on the machine (frei0r) become named filters of the registry: a
// plug-in "Invert0r" is the filter "Invert0r", its parameter "Brightness" the input
// "inputBrightness" (numbers for booleans and doubles, CIColor for colours, CIVector for
// positions).
#pragma once

#include "CIFilter.h"

class CIPlugIn
{
public:
    // Loads every filter plug-in of the frei0r search path once; later calls do nothing.
    static void loadAllPlugIns();
    // The input key of a plug-in parameter: "input" and the name, each word capitalised.
    static std::string inputKeyForParameter(const std::string& name);
};

bool import_CIPlugIn();
