#pragma once

// The waits a new connection starts with, in milliseconds. One process-wide setting: the
// terminal front end changes it from its command line; tests set short ones on each connection.
namespace net {

struct ConnectionDefaults {
    int ConnectTimeout = 10000;
    int ReadTimeout = 20000;
};

const ConnectionDefaults &CurrentConnectionDefaults();
// Installs defaults for connections made from now on; returns the ones they replace.
ConnectionDefaults SetConnectionDefaults(const ConnectionDefaults &defaults);

} // namespace net
