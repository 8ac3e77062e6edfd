// The race-server client. Not built yet: the game is never connected, so the link reads as
// disconnected, and the tic's network work says in the log that it is missing.
#include "net/net.h"

#include "common/not_built.h"

void net_tic() { log_not_built(__func__); }
bool net_connected() { return false; }
int net_server_tic() { return 0; }
bool net_server_sent_tic() { return false; }
// Never connected, so there is no server to tell.
void net_disconnect() {}
