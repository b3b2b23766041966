#pragma once

// The few socket calls the local test servers use, on POSIX systems and on Windows.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 // Windows raises no signal on a closed connection
#endif

inline int poll(pollfd *fds, unsigned long count, int timeout) { return WSAPoll(fds, count, timeout); }
inline int CloseSocket(int fd) { return closesocket(static_cast<SOCKET>(fd)); }

// Winsock works only after WSAStartup; it is never shut down before the process ends.
inline bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

inline int CloseSocket(int fd) { return close(fd); }
inline bool SocketsReady() { return true; }
#endif
