// A records server on another machine is reached encrypted and only after
// its certificate proved it is the server named: tried against the test
// server with TLS switched on for the while, under a certificate authority
// made here. The test server answers on loopback; the name a station gives
// it (host=) is what makes it another machine and what its certificate
// must carry, the address (hostaddr=) only where to find it.

#include <QDir>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pgtest.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const char* const kServerName = "records.quillon-test.example";

class RemoteServer : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    makeAuthority("ca");
    makeAuthority("otherca");
    openssl({"req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", QString("/CN=") + kServerName, "-keyout",
             file("server.key"), "-out", file("server.csr")});
    QFile ext(file("server.ext"));
    ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
    ext.write(QByteArray("subjectAltName=DNS:") + kServerName + "\n");
    ext.close();
    openssl({"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.crt"), "-CAkey", file("ca.key"),
             "-CAcreateserial", "-days", "2", "-extfile", file("server.ext"), "-out", file("server.crt")});
    ASSERT_FALSE(HasFatalFailure());
    // The server reads its key only when the key is its own (or root's) and
    // no one else's: the server writes both files itself, into its own folder.
    const QString dataDir = admin().exec("SHOW data_directory").value(0, 0);
    const QString key = QDir(dataDir).filePath("quillon-test-server.key");
    const QString cert = QDir(dataDir).filePath("quillon-test-server.crt");
    serverWrites(file("server.key"), key);
    serverWrites(file("server.crt"), cert);
    ASSERT_FALSE(HasFatalFailure());
    // The server writes its files open to every reader where its account's
    // umask says so: the tests run as that account or as root.
    ASSERT_EQ(::chmod(QFile::encodeName(key).constData(), 0600), 0) << qPrintable(key);
    admin().exec(("ALTER SYSTEM SET ssl_cert_file = '" + cert + "'").toUtf8().constData());
    admin().exec(("ALTER SYSTEM SET ssl_key_file = '" + key + "'").toUtf8().constData());
    admin().exec("ALTER SYSTEM SET ssl = on");
    tlsChanged_ = true;
    reloadUntil(cert);
  }
  void TearDown() override {
    if (!tlsChanged_) return;
    try {
      admin().exec("ALTER SYSTEM RESET ssl_cert_file");
      admin().exec("ALTER SYSTEM RESET ssl_key_file");
      admin().exec("ALTER SYSTEM RESET ssl");
      admin().exec("SELECT pg_reload_conf()");
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }

  QString file(const QString& name) const { return dir_.file(name); }
  void openssl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("openssl"), args);
    ASSERT_TRUE(p.waitForFinished(-1));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
  }
  void makeAuthority(const QString& name) {
    openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quillon test " + name,
             "-keyout", file(name + ".key"), "-out", file(name + ".crt")});
  }
  // `from`, a PEM file, written by the server as `to`, line for line.
  void serverWrites(const QString& from, const QString& to) {
    QFile f(from);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray pem = f.readAll();
    ASSERT_FALSE(pem.contains('$'));
    admin().runScript("COPY (SELECT line FROM unnest(string_to_array($pem$" + pem +
                      "$pem$, E'\\n')) WITH ORDINALITY AS t(line, n) WHERE line <> '' ORDER BY n) TO '" +
                      to.toUtf8() + "'");
  }
  // The server takes a new setting at its own pace after the reload: each
  // new session shows whether it has.
  void reloadUntil(const QString& certFile) {
    admin().exec("SELECT pg_reload_conf()");
    for (;;) {
      pg::Connection probe(QString{});
      if (probe.exec("SHOW ssl_cert_file").value(0, 0) == certFile) return;
      QThread::msleep(20);
    }
  }
  // A station's connection string for the server under its name.
  QString remote(const QString& extra, const QString& host = QString::fromLatin1(kServerName)) const {
    return "host=" + host + " hostaddr=127.0.0.1 " + extra + " options='-c search_path=" + scratch_->schema() + "'";
  }
  static QString refusal(const QString& conninfo, pg::PgError::Kind* kind = nullptr) {
    try {
      pg::Connection c(conninfo);
      c.open();
    } catch (const pg::PgError& e) {
      if (kind) *kind = e.kind();
      return e.message();
    }
    return QString();
  }

  ScratchDir dir_;
  bool tlsChanged_ = false;
};

TEST_F(RemoteServer, IsReachedEncryptedWithItsCertificateCheckedWhenTheFileSaysNothing) {
  pg::Connection c(remote("sslrootcert=" + file("ca.crt")));
  c.open();
  EXPECT_EQ(c.exec("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()").value(0, 0), "t");
  // And the records are there as over any other connection.
  EXPECT_NO_THROW(c.exec("SELECT count(*) FROM info"));
}

TEST_F(RemoteServer, ACertificateFromAnotherAuthorityOrForAnotherNameIsRefused) {
  pg::PgError::Kind kind{};
  const QString stranger = refusal(remote("sslrootcert=" + file("otherca.crt")), &kind);
  EXPECT_EQ(kind, pg::PgError::Kind::Unreachable);
  EXPECT_TRUE(stranger.contains("certificate")) << qPrintable(stranger);
  // The right authority, but the server answering is not the one named.
  const QString misnamed = refusal(remote("sslrootcert=" + file("ca.crt"), "other.quillon-test.example"), &kind);
  EXPECT_EQ(kind, pg::PgError::Kind::Unreachable);
  EXPECT_TRUE(misnamed.contains("other.quillon-test.example")) << qPrintable(misnamed);
}

TEST_F(RemoteServer, AWeakerSettingIsRefusedWithTheReasonAndTheFixButAllowedOnThisMachine) {
  for (const char* mode : {"disable", "allow", "prefer", "require", "verify-ca"}) {
    pg::PgError::Kind kind{};
    const QString why = refusal(remote("sslrootcert=" + file("ca.crt") + " sslmode=" + mode), &kind);
    EXPECT_EQ(kind, pg::PgError::Kind::Refused) << mode;
    EXPECT_TRUE(why.contains(QString("sslmode=") + mode)) << qPrintable(why);
    EXPECT_TRUE(why.contains("sslmode=verify-full")) << qPrintable(why);
  }
  // The same server reached on this machine's own loopback needs no TLS.
  pg::Connection local("host=localhost sslmode=disable options='-c search_path=" + scratch_->schema() + "'");
  local.open();
  EXPECT_EQ(local.exec("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()").value(0, 0), "f");
}

}  // namespace
