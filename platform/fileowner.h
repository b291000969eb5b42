// SPDX-License-Identifier: MIT
#pragma once

namespace platform {

/**
 * Gives the open file @p fd the owner and group ids of the file it replaces, as far as the process
 * may set them (the group alone when the owner cannot be changed). No-op where files carry no ids.
 */
void MatchOwner(int fd, unsigned owner, unsigned group);

} // namespace platform
