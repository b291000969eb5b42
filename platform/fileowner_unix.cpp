// SPDX-License-Identifier: MIT
#include "fileowner.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void MatchOwner(int fd, unsigned owner, unsigned group)
{
    struct stat st
    {
    };
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return;
    if (st.st_uid == owner && st.st_gid == group)
        return;
    // Only root may give a file away; a member of the group may still set the group.
    if (::fchown(fd, owner, group) != 0 && st.st_gid != group)
        (void)!::fchown(fd, uid_t(-1), group);
}

} // namespace platform
