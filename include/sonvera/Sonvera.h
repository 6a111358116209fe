// Every public header of the library.
#pragma once

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/runtime/Serialization.h"
#include "sonvera/platform/runtime/UnitInit.h"

#include "sonvera/package/SonveraPackage.h"
