// Network client; filled in with the client protocol.
#include "net/net.h"

void net_tic() {}
bool net_connected() { return false; }
int net_server_tic() { return 0; }
bool net_server_sent_tic() { return false; }
void net_disconnect() {}
