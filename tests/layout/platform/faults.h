#include "../formats/readerror.h"
#include "formats/peresources.h"
#include "icons/icontypes.h"
