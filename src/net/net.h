// The race-server client.
#pragma once

void net_tic();
bool net_connected();
// The newest tic the server has sent, and the local race tic it compares with.
int net_server_tic();
bool net_server_sent_tic();
// Sends the disconnect message when connected and resets the client.
void net_disconnect();
