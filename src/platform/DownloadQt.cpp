// The transfer through Qt Network, where libcurl is not at hand (Windows). It keeps the
// behaviour of the libcurl one: the same limits, only http and https (redirects included),
// the proxy variables curl programs honour, and a file replaced only by a whole body.
#include "platform/DownloadTransfer.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace skeld {

namespace {

constexpr int MaxRedirects = 10;

bool IsWebAddress(const QUrl &url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QString ProxyVariable(const char *lower, const char *upper) {
  QString value = qEnvironmentVariable(lower);
  if (value.isEmpty() && upper)
    value = qEnvironmentVariable(upper);
  return value;
}

// no_proxy: hosts separated by commas, each also covering its subdomains; "*" covers all.
bool Bypassed(const QString &host) {
  const QStringList entries =
      ProxyVariable("no_proxy", "NO_PROXY").split(QLatin1Char(','), Qt::SkipEmptyParts);
  for (QString entry : entries) {
    entry = entry.trimmed().toLower();
    if (entry == QLatin1String("*"))
      return true;
    if (entry.startsWith(QLatin1Char('.')))
      entry.remove(0, 1);
    const QString name = host.toLower();
    if (!entry.isEmpty() && (name == entry || name.endsWith(QLatin1Char('.') + entry)))
      return true;
  }
  return false;
}

// The proxy a curl program would take for url. Plain http reads only the lower-case
// http_proxy: a web server's CGI environment can set HTTP_PROXY from a request header.
QNetworkProxy ProxyFor(const QUrl &url) {
  if (Bypassed(url.host()))
    return QNetworkProxy(QNetworkProxy::NoProxy);
  const bool plain = url.scheme().toLower() == QLatin1String("http");
  QString setting =
      plain ? ProxyVariable("http_proxy", nullptr) : ProxyVariable("https_proxy", "HTTPS_PROXY");
  if (setting.isEmpty())
    setting = ProxyVariable("all_proxy", "ALL_PROXY");
  if (setting.isEmpty())
    return QNetworkProxy(QNetworkProxy::NoProxy);
  if (!setting.contains(QLatin1String("://")))
    setting.prepend(QLatin1String("http://"));
  const QUrl proxy(setting);
  const bool socks = proxy.scheme().toLower().startsWith(QLatin1String("socks5"));
  return QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, proxy.host(),
                       static_cast<quint16>(proxy.port(1080)), proxy.userName(), proxy.password());
}

class EnvironmentProxies : public QNetworkProxyFactory {
public:
  QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override {
    return {ProxyFor(query.url())};
  }
};

} // namespace

namespace {

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

bool TransferToFile(const std::string &url, const std::string &path, const DownloadLimits &limits) {
  // The body goes to a temporary file beside the target, which is renamed over it only
  // once the transfer is complete: a failed transfer never leaves a cut-off file behind.
  QSaveFile file(QFile::decodeName(path.c_str()));
  if (!file.open(QIODevice::WriteOnly))
    return false;
  QUrl address(QString::fromStdString(url));
  if (!IsWebAddress(address))
    return false;

  QNetworkAccessManager manager;
  manager.setProxyFactory(new EnvironmentProxies);
  QEventLoop loop;
  bool refused = false;
  std::unique_ptr<QNetworkReply> reply;
  // Ends the loop itself: before its request is out, an aborted reply may never finish.
  const auto refuse = [&] {
    refused = true;
    if (reply)
      reply->abort();
    loop.quit();
  };
  QTimer connectLimit;
  connectLimit.setSingleShot(true);
  QTimer totalLimit;
  totalLimit.setSingleShot(true);
  QObject::connect(&connectLimit, &QTimer::timeout, &loop, refuse);
  QObject::connect(&totalLimit, &QTimer::timeout, &loop, refuse);
  totalLimit.start(limits.total);

  // Redirects are followed here, one request each: Qt's own following re-sent the first
  // request now and then under Wine.
  for (int redirects = 0;; ++redirects) {
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    reply.reset(manager.get(request));
    qint64 written = 0;
    const auto keep = [&] {
      const QByteArray chunk = reply->readAll();
      if (IsRedirect(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()))
        return;
      if (written + chunk.size() > limits.maxBytes || file.write(chunk) != chunk.size())
        return refuse();
      written += chunk.size();
    };
    // The connect limit runs until the request is out, again for each redirect's connection.
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &connectLimit, &QTimer::stop);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, keep);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connectLimit.start(limits.connect);
    if (!refused && !reply->isFinished())
      loop.exec();
    connectLimit.stop();
    if (refused) {
      file.cancelWriting();
      return false;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (IsRedirect(status)) {
      const QUrl target =
          address.resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
      if (redirects == MaxRedirects || !IsWebAddress(target))
        break;
      address = target;
      continue;
    }
    keep();
    if (refused || reply->error() != QNetworkReply::NoError || status >= 400)
      break;
    return file.commit();
  }
  file.cancelWriting();
  return false;
}

} // namespace skeld
