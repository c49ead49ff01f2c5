#include "app/sharing/ShareServer.h"
#include "app/sharing/HttpRequest.h"
#include "app/sharing/LiveJpegSource.h"
#include "app/sharing/QrCode.h"
#include "app/sharing/StreamControl.h"
#include "media/MotionJpeg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct Reply {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

Reply Parse(const QByteArray& bytes)
{
    Reply reply;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    reply.head = bytes.left(end);
    reply.body = end < 0 ? QByteArray() : bytes.mid(end + 4);
    reply.status = bytes.mid(9, 3).toInt();
    return reply;
}

// A browser's connection, driven by hand.
class Client {
public:
    Client(quint16 port, const QByteArray& request)
    {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        socket_.write(request);
    }
    // Everything until the server closes.
    Reply Whole()
    {
        WaitFor([this] {
            received_ += socket_.readAll();
            return socket_.state() == QAbstractSocket::UnconnectedState;
        });
        received_ += socket_.readAll();
        return Parse(received_);
    }
    QByteArray& Received()
    {
        received_ += socket_.readAll();
        return received_;
    }
    QTcpSocket& Socket() { return socket_; }

private:
    QTcpSocket socket_;
    QByteArray received_;
};

QByteArray Get(const QByteArray& target, const QByteArray& headers = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: microscope\r\n" + headers + "\r\n";
}

class ShareServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pictures_ = dir_.path() + "/pictures";
        QDir().mkpath(pictures_);
        QDir().mkpath(dir_.path() + "/private");
        server_.SetAccessCode("424242");
        server_.Pictures().SetFolders({pictures_});
        QString error;
        ASSERT_TRUE(server_.Start(0, &error)) << error.toStdString();
    }
    Reply Fetch(const QByteArray& request) { return Client(server_.Port(), request).Whole(); }
    void Write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir_;
    QString pictures_;
    ShareServer server_;
};

} // namespace

TEST_F(ShareServerTest, EverythingButTheCodeFormNeedsTheCodeAndAWrongOneIsRefusedSlowerEachTime)
{
    // Without a code: the page is the form; the rest is refused.
    const Reply form = Fetch(Get("/"));
    EXPECT_EQ(form.status, 200);
    EXPECT_TRUE(form.body.contains("name=\"code\""));
    EXPECT_TRUE(form.head.contains("Content-Security-Policy"));
    for (const QByteArray target : {"/live", "/info", "/pictures/", "/pictures/a.jpg"})
        EXPECT_EQ(Fetch(Get(target)).status, 403) << target.constData();

    // The form: the right code gives the cookie and leads to the page; the cookie opens the rest.
    const Reply entered = Fetch("POST /code HTTP/1.1\r\nContent-Length: 11\r\n\r\ncode=424242");
    EXPECT_EQ(entered.status, 303);
    EXPECT_TRUE(entered.head.contains("Set-Cookie: qrv_code=424242; Path=/; HttpOnly"));
    const Reply page = Fetch(Get("/", "Cookie: theme=dark; qrv_code=424242\r\n"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("id=\"live\""));
    EXPECT_EQ(Fetch(Get("/info?code=424242")).status, 200);
    // The address with the code (the QR code's) sets the cookie for the page's own requests.
    EXPECT_TRUE(Fetch(Get("/?code=424242")).head.contains("Set-Cookie: qrv_code=424242"));

    // Wrong codes: three answered at once, the fourth and later each wait longer.
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(Fetch(Get("/info?code=000000")).status, 403);
        EXPECT_LT(timer.elapsed(), 900) << i;
    }
    QElapsedTimer timer;
    timer.start();
    const Reply wrongForm = Fetch("POST /code HTTP/1.1\r\nContent-Length: 11\r\n\r\ncode=111111");
    EXPECT_EQ(wrongForm.status, 403);
    EXPECT_TRUE(wrongForm.body.contains("id=\"wrong\""));
    EXPECT_GE(timer.elapsed(), 900);
    // Read-only.
    EXPECT_EQ(Fetch("PUT /pictures/x.jpg HTTP/1.1\r\nContent-Length: 0\r\n\r\n").status, 405);
    EXPECT_EQ(Fetch("POST /pictures/x.jpg HTTP/1.1\r\nContent-Length: 0\r\n\r\n").status, 405);
}

TEST_F(ShareServerTest, OnlyThePicturesOfTheMediaFoldersAreReachableByName)
{
    Write(pictures_ + "/Still_2026-12-09_101010_N0001.jpg", QByteArray(300000, 'j'));
    Write(pictures_ + "/notes.txt", "not a picture");
    Write(pictures_ + "/.hidden.jpg", "hidden");
    Write(dir_.path() + "/private/secret.jpg", "secret");
    ASSERT_TRUE(QFile::link(dir_.path() + "/private/secret.jpg", pictures_ + "/link.jpg"));
    QDir().mkpath(pictures_ + "/sub");
    Write(pictures_ + "/sub/inner.jpg", "inner");

    const Reply list = Fetch(Get("/pictures/?code=424242"));
    EXPECT_EQ(list.status, 200);
    EXPECT_TRUE(list.body.contains("Still_2026-12-09_101010_N0001.jpg"));
    for (const char* absent : {"notes.txt", "hidden", "link.jpg", "secret", "inner"})
        EXPECT_FALSE(list.body.contains(absent)) << absent;

    const Reply picture = Fetch(Get("/pictures/Still_2026-12-09_101010_N0001.jpg?code=424242"));
    EXPECT_EQ(picture.status, 200);
    EXPECT_TRUE(picture.head.contains("Content-Type: image/jpeg"));
    EXPECT_EQ(picture.body, QByteArray(300000, 'j')); // byte for byte, in chunks
    EXPECT_EQ(Fetch("HEAD /pictures/Still_2026-12-09_101010_N0001.jpg?code=424242 HTTP/1.1\r\n\r\n").body.size(), 0);

    // Every way out of the folder: refused (400) or not found (404), never the file.
    for (const QByteArray target :
         {"/pictures/link.jpg", "/pictures/../private/secret.jpg", "/pictures/..%2Fprivate%2Fsecret.jpg",
          "/pictures/%2e%2e/private/secret.jpg", "/pictures/sub/inner.jpg", "/pictures/sub%2Finner.jpg",
          "/pictures/..%5Cprivate%5Csecret.jpg", "/pictures/.hidden.jpg", "/pictures/notes.txt",
          "/pictures/%00secret.jpg", "//etc/passwd", "/pictures/%2F..%2F..%2Fetc%2Fpasswd"}) {
        const Reply reply = Fetch(Get(target + "?code=424242"));
        EXPECT_TRUE(reply.status == 400 || reply.status == 404) << target.constData() << " " << reply.status;
        EXPECT_FALSE(reply.body.contains("secret") || reply.body.contains("inner") || reply.body.contains("root:"))
            << target.constData();
    }
    // A head longer than any browser sends, and nonsense.
    EXPECT_EQ(Fetch("GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n\r\n").status, 431);
    EXPECT_EQ(Fetch("HELLO\r\n\r\n").status, 400);
}

TEST_F(ShareServerTest, EachViewerGetsTheNewestFrameAndASlowOneNeitherHoldsOthersBackNorQueues)
{
    server_.SetMaxViewers(3);
    Client fast(server_.Port(), Get("/live?code=424242"));
    Client slow(server_.Port(), Get("/live?code=424242"));
    slow.Socket().setReadBufferSize(1); // reads (almost) nothing: the server's writes back up
    ASSERT_TRUE(WaitFor([&] { return server_.Viewers() == 2; }));

    // Frames of 200 kB, numbered; the slow viewer takes none of them.
    auto frame = [](int n) { return QByteArray("\xff\xd8") + QByteArray::number(n) + QByteArray(200000, 'x'); };
    int published = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            server_.PublishFrame(frame(++published));
            QCoreApplication::processEvents();
            return fast.Received().count("--qrvframe") >= 40 && published >= 200;
        },
        60000));
    // The fast one kept up with the newest: its last frame is one of the last published.
    const QByteArray& got = fast.Received();
    const qsizetype last = got.lastIndexOf("\r\n\r\n\xff\xd8");
    ASSERT_GE(last, 0);
    EXPECT_GE(got.mid(last + 6, 3).toInt(), published - 5);
    EXPECT_TRUE(got.startsWith("HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=qrvframe"));
    // The slow one has at most one frame waiting at the server (the system's buffers aside).
    EXPECT_LE(server_.QueuedBytesMost(), 200100);

    // The one over the limit gets a clear answer; Stop closes every stream.
    Client third(server_.Port(), Get("/live?code=424242"));
    ASSERT_TRUE(WaitFor([&] { return server_.Viewers() == 3; }));
    EXPECT_EQ(Fetch(Get("/live?code=424242")).status, 503);
    const Reply full = Fetch(Get("/?code=424242"));
    EXPECT_EQ(full.status, 503);
    EXPECT_TRUE(full.body.contains("id=\"full\""));
    server_.Stop();
    EXPECT_EQ(server_.Viewers(), 0);
    EXPECT_TRUE(WaitFor([&] { return fast.Socket().state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(server_.IsRunning());
}

TEST(SharePieces, RequestsAreReadStrictlyAndTheQrCodeIsSquare)
{
    HttpRequest request;
    EXPECT_EQ(ParseRequestHead("GET / HTTP/1.1\r\nHost: x\r\n", request), HeadParse::Incomplete);
    ASSERT_EQ(
        ParseRequestHead("GET /pictures/Still%20A.jpg?x=1&code=12%33 HTTP/1.1\r\nCookie: qrv_code=9\r\n\r\n", request),
        HeadParse::Complete);
    EXPECT_EQ(request.path, "/pictures/Still A.jpg");
    EXPECT_EQ(request.queryCode, "123");
    EXPECT_EQ(request.cookieCode, "9");
    EXPECT_EQ(SharedPictureName(request.path), "Still A.jpg");
    EXPECT_EQ(ParseRequestHead("GET /a%2 HTTP/1.1\r\n\r\n", request), HeadParse::Bad);
    EXPECT_EQ(ParseRequestHead("GET /a%ff HTTP/1.1\r\n\r\n", request), HeadParse::Bad); // not UTF-8
    EXPECT_EQ(ParseRequestHead("GET /a HTTP/1.1\r\nContent-Length: -4\r\n\r\n", request), HeadParse::Bad);
    EXPECT_EQ(FormField("code=12+34&x=y", "code"), "12 34");

    const QImage qr = QrCodeImage("http://192.168.1.20:8080/?code=123456", 4);
    ASSERT_FALSE(qr.isNull());
    EXPECT_EQ(qr.width(), qr.height());
    EXPECT_EQ(qr.width() % 4, 0);
    EXPECT_EQ(qr.pixelColor(0, 0), Qt::white);   // the quiet zone
    EXPECT_EQ(qr.pixelColor(16, 16), Qt::black); // a finder pattern's corner
}

TEST(SharePieces, OnlyStreamingAddressesAreTakenAndTheirKeysAreNeverShown)
{
    StreamControl stream;
    QString error;
    for (const QString address : {"", "http://server/live/key", "rtmp://", "/tmp/file.flv", "file:///etc/passwd"}) {
        EXPECT_FALSE(stream.Start(address, &error)) << address.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(stream.IsStreaming());
    }
    EXPECT_TRUE(StreamSender::IsStreamAddress("srt://127.0.0.1:9000?streamid=x"));
    EXPECT_EQ(StreamSender::WithoutKey("rtmp://a.example/live/secret-key"), "rtmp://a.example/live/…");
    EXPECT_EQ(StreamSender::WithoutKey("srt://host:9000?passphrase=secret"), "srt://host:9000?…");
}

TEST(SharePieces, TheLivePictureIsEncodedOnceOnItsOwnThreadOrPassedThroughAsTheCameraSentIt)
{
    auto pool = FramePool::Create();
    auto frameOf = [&](bool withCameraJpeg) {
        SharedFrame frame = pool->Acquire(64, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64 * 3; ++x) frame->Row(y)[x] = static_cast<std::uint8_t>((x * 3 + y * 5) % 256);
        if (withCameraJpeg) EncodeJpeg(frame->Row(0), 64, 48, frame->stride, 90, frame->jpeg);
        return frame;
    };
    LiveJpegSource source;
    std::vector<QByteArray> got;
    QObject::connect(&source, &LiveJpegSource::FrameReady, [&](const QByteArray& jpeg) { got.push_back(jpeg); });
    source.Offer(frameOf(false), true);
    ASSERT_TRUE(WaitFor([&] { return got.size() == 1; }));
    EXPECT_TRUE(got[0].startsWith("\xff\xd8"));
    EXPECT_EQ(source.Encoded(), 1u);
    // The camera's own bytes go out as they are (with Huffman tables), unless the picture was corrected.
    const SharedFrame camera = frameOf(true);
    source.Offer(camera, true);
    ASSERT_TRUE(WaitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(source.PassedThrough(), 1u);
    EXPECT_EQ(got[1].size(), static_cast<qsizetype>(camera->jpeg.size()));
    source.Offer(camera, false);
    ASSERT_TRUE(WaitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(source.Encoded(), 2u);
}

TEST(SharePieces, AStreamToAServerThatIsNotThereSaysSoAndStopsAtOnce)
{
    // A port nobody listens on: the sender reports it and keeps trying until stopped.
    StreamControl stream;
    QString error;
    ASSERT_TRUE(stream.Start(QStringLiteral("rtmp://127.0.0.1:9/live/key"), &error)) << error.toStdString();
    auto pool = FramePool::Create();
    SharedFrame frame = pool->Acquire(64, 48);
    std::fill(frame->pixels.begin(), frame->pixels.end(), 128);
    frame->captured = 1;
    stream.Offer(frame);
    ASSERT_TRUE(WaitFor([&] { return stream.State() == StreamSender::State::Reconnecting; }));
    EXPECT_TRUE(stream.StatusText().contains("connecting again")) << stream.StatusText().toStdString();
    EXPECT_FALSE(stream.StatusText().contains("key"));
    QElapsedTimer stopping;
    stopping.start();
    stream.Stop();
    EXPECT_LT(stopping.elapsed(), 5000);
    EXPECT_FALSE(stream.IsStreaming());
}
