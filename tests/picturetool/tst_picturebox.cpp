#include "picturebox.h"
#include "testimages.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QImage paintedTile(PictureBox &box)
{
    return box.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage solid(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestPictureBox : public QObject
{
    Q_OBJECT

private slots:
    void startsAsWhitePlaceholder();
    void paintsImageFittedAndCentred_data();
    void paintsImageFittedAndCentred();
    void nullImageKeepsPlaceholder();
    void backgroundFillsTheBars();
    void doubleClick_data();
    void doubleClick();
};

void TestPictureBox::startsAsWhitePlaceholder()
{
    PictureBox box;
    QCOMPARE(box.size(), QSize(160, 90));
    QCOMPARE(box.minimumSize(), QSize(160, 90));
    QCOMPARE(box.maximumSize(), QSize(160, 90));
    QCOMPARE(boundsOfPixelsNot(paintedTile(box), Qt::white), QRect());
}

void TestPictureBox::paintsImageFittedAndCentred_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRect>("drawn");

    QTest::newRow("16:9 fills the tile") << QSize(1920, 1080) << 1.0 << QRect(0, 0, 160, 90);
    QTest::newRow("square, bars left and right") << QSize(1000, 1000) << 1.0 << QRect(35, 0, 90, 90);
    QTest::newRow("wide, bars above and below") << QSize(400, 100) << 1.0 << QRect(0, 25, 160, 40);
    QTest::newRow("small image enlarged") << QSize(100, 50) << 1.0 << QRect(0, 5, 160, 80);
    QTest::newRow("stored scale does not change the drawing") << QSize(1000, 1000) << 7.5
                                                              << QRect(35, 0, 90, 90);
}

void TestPictureBox::paintsImageFittedAndCentred()
{
    QFETCH(QSize, imageSize);
    QFETCH(double, scale);
    QFETCH(QRect, drawn);

    PictureBox box;
    QImage image = solid(imageSize, Qt::red);
    QVERIFY(box.setImage(image, scale));

    const QImage tile = paintedTile(box);
    QCOMPARE(boundsOfPixelsNot(tile, Qt::white), drawn);
    QVERIFY(nearColor(tile.pixel(drawn.center()), Qt::red, 0));
}

void TestPictureBox::nullImageKeepsPlaceholder()
{
    PictureBox box;
    QImage null;
    QVERIFY(!box.setImage(null));
    QCOMPARE(boundsOfPixelsNot(paintedTile(box), Qt::white), QRect());
}

void TestPictureBox::backgroundFillsTheBars()
{
    PictureBox box;
    QImage image = solid(QSize(1000, 1000), Qt::red);
    QVERIFY(box.setImage(image));
    box.setBackground(QBrush(Qt::black, Qt::SolidPattern));

    const QImage tile = paintedTile(box);
    QVERIFY(nearColor(tile.pixel(10, 45), Qt::black, 0));
    QVERIFY(nearColor(tile.pixel(150, 45), Qt::black, 0));
    QVERIFY(nearColor(tile.pixel(80, 45), Qt::red, 0));
}

void TestPictureBox::doubleClick_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("emitted");

    QTest::newRow("left button") << int(Qt::LeftButton) << 1;
    QTest::newRow("right button") << int(Qt::RightButton) << 0;
    QTest::newRow("middle button") << int(Qt::MiddleButton) << 0;
}

void TestPictureBox::doubleClick()
{
    QFETCH(int, button);
    QFETCH(int, emitted);

    PictureBox box;
    QSignalSpy spy(&box, &PictureBox::doubleClicked);
    QTest::mouseDClick(&box, Qt::MouseButton(button), Qt::NoModifier, QPoint(80, 45));
    QCOMPARE(spy.count(), emitted);
}

QTEST_MAIN(TestPictureBox)
#include "tst_picturebox.moc"
