// Proxies for the client: its settings (a proxy for http, one for https, the hosts that go
// direct), those settings read from the environment as curl reads them, the choice of proxy
// for one request, and the CONNECT tunnel that carries https through a proxy.
#pragma once

#include <functional>
#include <string>

#include "http/IOHandler.h"
#include "http/Uri.h"

namespace varnel {

// Empty settings (the default) mean direct connections.
struct TProxyParams {
  // "[http://][user:password@]host[:port]"; the port defaults to 1080. The user name and
  // password may be percent-encoded; they go to the proxy as Basic credentials.
  std::string HttpProxy;   // for http URLs: requests go to it with the whole URL
  std::string HttpsProxy;  // for https URLs: a CONNECT tunnel through it carries the TLS
  // Hosts that go direct, separated by commas: a name (which also covers the names under it,
  // with or without a leading "."), or an IP address; "*" covers every host.
  std::string NoProxy;
};

// One proxy to connect to; an empty Host means none.
struct TProxyServer {
  std::string Host;
  int Port = 0;
  TIPVersion IPVersion = ipV4;
  std::string Username;
  std::string Password;
};

// http_proxy (only in lower case, as a server's CGI variable HTTP_PROXY can't be told apart),
// https_proxy or HTTPS_PROXY, all_proxy or ALL_PROXY for a scheme with no variable of its own,
// and no_proxy or NO_PROXY; where both cases are set, the lower-case one wins. getEnv returns
// a variable's value, NULL when it is not set.
TProxyParams ProxyParamsFromEnvironment(const std::function<const char*(const char*)>& getEnv);
TProxyParams ProxyParamsFromEnvironment();

// The proxy a request over protocol ("http" or "https") to host goes through. Raises
// EProxyError when that setting can't be read or names a scheme other than http.
TProxyServer SelectProxy(const TProxyParams& params, const std::string& protocol,
                         const std::string& host);

// "Basic " and the proxy's user name and password in base64; empty without a user name.
std::string ProxyAuthorization(const TProxyServer& proxy);

// Asks the proxy at the other end of io for a tunnel to authority ("host:port") and returns
// once the proxy has opened it. Raises EProxyError with the proxy's status line when it refuses.
void OpenTunnel(TIOHandlerStack& io, const TProxyServer& proxy, const std::string& authority);

}  // namespace varnel
