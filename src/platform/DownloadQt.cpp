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

bool TransferToFile(const std::string &url, const std::string &path, const DownloadLimits &limits) {
  // The body goes to a temporary file beside the target, which is renamed over it only
  // once the transfer is complete: a failed transfer never leaves a cut-off file behind.
  QSaveFile file(QFile::decodeName(path.c_str()));
  if (!file.open(QIODevice::WriteOnly))
    return false;
  const QUrl address(QString::fromStdString(url));
  if (!IsWebAddress(address))
    return false;

  QNetworkAccessManager manager;
  manager.setProxyFactory(new EnvironmentProxies);
  QNetworkRequest request(address);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setMaximumRedirectsAllowed(MaxRedirects);
  const std::unique_ptr<QNetworkReply> reply(manager.get(request));

  bool refused = false;
  qint64 written = 0;
  QEventLoop loop;
  const auto refuse = [&] {
    refused = true;
    reply->abort();
  };
  const auto keep = [&] {
    const QByteArray chunk = reply->readAll();
    if (written + chunk.size() > limits.maxBytes || file.write(chunk) != chunk.size())
      return refuse();
    written += chunk.size();
  };

  // The connect limit runs until the request is out, again for each redirect's connection.
  QTimer connectLimit;
  connectLimit.setSingleShot(true);
  QTimer totalLimit;
  totalLimit.setSingleShot(true);
  QObject::connect(&connectLimit, &QTimer::timeout, &loop, refuse);
  QObject::connect(&totalLimit, &QTimer::timeout, &loop, refuse);
  QObject::connect(reply.get(), &QNetworkReply::requestSent, &connectLimit, &QTimer::stop);
  QObject::connect(reply.get(), &QNetworkReply::redirected, &loop, [&](const QUrl &target) {
    if (!IsWebAddress(target))
      return refuse();
    connectLimit.start(limits.connect);
    emit reply->redirectAllowed();
  });
  QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, keep);
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  connectLimit.start(limits.connect);
  totalLimit.start(limits.total);
  if (!reply->isFinished())
    loop.exec();
  if (!refused)
    keep();

  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (refused || reply->error() != QNetworkReply::NoError || status >= 400) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

} // namespace skeld
