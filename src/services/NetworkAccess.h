#pragma once

class QNetworkAccessManager;
class QNetworkRequest;

// The one network manager of a thread's clients (the image and video services, the key tests, the update
// check), so they share one connection pool and one proxy and TLS setup.
namespace NetworkAccess {

// Made on first use on the calling thread. On the application's thread the application owns it; on another
// thread it goes when that thread finishes.
QNetworkAccessManager* shared();

// The request goes out over HTTP/1.1 and its connection closes once the answer is in, so no later request is
// ever written to it. The network layer sends a request again by itself when a connection it reused turns out
// to be closed; a service whose requests are billed keeps no connection for that to happen on.
void closeConnectionAfterAnswer(QNetworkRequest& request);

// A request that carries a key follows a redirect only within its own origin (scheme, host and port): one to
// another host would hand that host the key, and for a 307 or 308 the request's body too. The request then
// fails instead (ServiceReply::refusedRedirect says why).
void keepOnOrigin(QNetworkRequest& request);

} // namespace NetworkAccess
