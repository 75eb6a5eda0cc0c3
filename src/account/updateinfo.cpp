#include "updateinfo.h"

UpdateInfo* UpdateInfo::instance()
{
    static UpdateInfo* info = new UpdateInfo;
    return info;
}
