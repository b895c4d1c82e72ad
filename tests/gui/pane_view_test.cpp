// The panes' one mapping between client and picture points (natural, magnified, fitted), checked
// against the zoom view that draws magnified panes; the texts derived from snapshots; the CJK
// font; message boxes in front of every window.
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <string>

#include "app/snapshot.h"
#include "core/dib.h"
#include "core/resample.h"
#include "gui/bridge/qt_ui_sink.h"
#include "gui/panes/image_pane.h"
#include "gui/panes/pane_view.h"
#include "gui/shell/desk_texts.h"
#include "gui/shell/fonts.h"
#include "gui/shell/main_window.h"

namespace fw {

class PaneViewTest : public QObject {
  Q_OBJECT

 private slots:
  void naturalViewIsTheCentredMapping();
  void magnifiedViewNamesThePixelTheZoomViewDraws();
  void outlinesTileThePicture();
  void fitShowsTheWholePictureAndZoomKeepsThePointUnderTheCursor();
  void textsFromSnapshots();
  void chineseTextsHaveAFont();
  void messagesComeInFront();
};

void PaneViewTest::naturalViewIsTheCentredMapping() {
  const struct {
    QSize client;
    int width, height;
    QPoint clientPoint, picturePoint;
  } cases[] = {
      {{100, 80}, 40, 30, {30, 25}, {0, 29}},  // the picture's top-left pixel
      {{100, 80}, 40, 30, {69, 54}, {39, 0}},  // its bottom-right pixel
      {{101, 81}, 40, 30, {30, 25}, {0, 29}},  // odd sizes: integer halves
      {{20, 10}, 40, 30, {0, 0}, {10, 19}},    // a picture larger than its pane
  };
  for (const auto& c : cases) {
    const PaneView v = PaneView::Natural(c.client, c.width, c.height);
    QVERIFY(!v.magnified());
    QCOMPARE(v.toPicture(c.clientPoint), c.picturePoint);
    QCOMPARE(v.toClient(c.picturePoint), c.clientPoint);
    QCOMPARE(ClientToPicture(c.clientPoint, c.client, c.width, c.height), c.picturePoint);
  }
}

// A picture whose blue byte is 10 x column and green byte 10 x memory row: the zoom view's
// bilinear sample then tells, truncated, the pixel it comes from.
void PaneViewTest::magnifiedViewNamesThePixelTheZoomViewDraws() {
  constexpr int kSide = 20;
  for (const bool bottomUp : {true, false}) {
    Dib picture;
    picture.CreateSigned(kSide, bottomUp ? kSide : -kSide, 24, false);
    for (int row = 0; row < kSide; ++row) {
      for (int x = 0; x < kSide; ++x) {
        picture.Row(row)[3 * x] = static_cast<uint8_t>(10 * x);
        picture.Row(row)[3 * x + 1] = static_cast<uint8_t>(10 * row);
      }
    }
    for (const float scale : {0.5f, 1.0f, 2.0f, 4.0f}) {
      for (const QPoint centre : {QPoint(10, 10), QPoint(3, 15)}) {
        const QSize client(61, 48);
        const PaneView v = PaneView::Zoomed(client, kSide, kSide, bottomUp, scale, centre);
        Dib zoom;
        zoom.CreateSigned(client.width(), bottomUp ? client.height() : -client.height(), 24, false);
        ZoomView(picture, zoom, scale, centre.x(), centre.y());
        for (int y = 0; y < client.height(); ++y) {
          for (int x = 0; x < client.width(); ++x) {
            const QPoint p = v.toPicture(QPoint(x, y));
            // The last column and row have no neighbour to blend with; the zoom view paints
            // its background outside the picture.
            if (p.x() < 0 || p.y() < 0 || p.x() >= kSide - 1 || p.y() >= kSide - 1) continue;
            const int memoryRow = bottomUp ? p.y() : kSide - 1 - p.y();
            if (memoryRow >= kSide - 1) continue;
            const int zoomRow = bottomUp ? client.height() - 1 - y : y;
            const uint8_t* out = zoom.Row(zoomRow) + 3 * x;
            QCOMPARE(out[0] / 10, p.x());
            QCOMPARE(out[1] / 10, memoryRow);
          }
        }
      }
    }
  }
}

void PaneViewTest::outlinesTileThePicture() {
  for (const float scale : {1.0f, 2.5f, 3.0f}) {
    for (const bool bottomUp : {true, false}) {
      const PaneView v = PaneView::Zoomed(QSize(90, 70), 16, 12, bottomUp, scale, QPoint(8, 6));
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
          const QRect r = v.clientRect(x, y, x, y);
          // Every client pixel of a pixel's outline maps back to it.
          for (const QPoint corner : {r.topLeft(), r.bottomRight()}) {
            QCOMPARE(v.toPicture(corner), QPoint(x, y));
          }
          // Neighbours meet without a gap or an overlap.
          if (x + 1 < 16) QCOMPARE(v.clientRect(x + 1, y, x + 1, y).left(), r.right() + 1);
          if (y + 1 < 12) QCOMPARE(v.clientRect(x, y + 1, x, y + 1).bottom(), r.top() - 1);
        }
      }
      // A block's outline covers its pixels' outlines.
      const QRect block = v.clientRect(4, 2, 11, 9);
      QCOMPARE(block.topLeft(), v.clientRect(4, 9, 4, 9).topLeft());
      QCOMPARE(block.bottomRight(), v.clientRect(11, 2, 11, 2).bottomRight());
    }
  }
}

void PaneViewTest::fitShowsTheWholePictureAndZoomKeepsThePointUnderTheCursor() {
  for (const QSize client : {QSize(400, 265), QSize(200, 400), QSize(1000, 300)}) {
    const PaneView v = PaneView::Fitted(client, 352, 288, true);
    const QRect whole = v.clientRect(0, 0, 351, 287);
    QVERIFY(QRect(QPoint(-1, -1), client + QSize(2, 2)).contains(whole));
    QVERIFY(std::abs(whole.width() - client.width()) <= 2 ||
            std::abs(whole.height() - client.height()) <= 2);
    // Centred, within a picture pixel.
    QVERIFY(std::abs(whole.center().x() - client.width() / 2) <= v.scale() + 1);
    QVERIFY(std::abs(whole.center().y() - client.height() / 2) <= v.scale() + 1);
  }
  // Zooming in and out around a client point keeps the picture point under it.
  PaneView v = PaneView::Natural(QSize(400, 265), 352, 288);
  const QPoint at(123, 77);
  const QPoint under = v.toPicture(at);
  for (const float scale : {1.25f, 3.0f, 7.5f, 0.6f}) {
    v = PaneView::Zoomed(QSize(400, 265), 352, 288, true, scale, v.centreKeeping(at, scale));
    QVERIFY2((v.toPicture(at) - under).manhattanLength() <= 2, qPrintable(QString::number(scale)));
  }
}

void PaneViewTest::textsFromSnapshots() {
  Snapshot s;
  QCOMPARE(VideoInfoText(s), QStringLiteral("No video | No mode"));
  QCOMPARE(WindowTitle({}), QStringLiteral("FWX - ") + kProductTitle);
  s.videoPath = "/clips/a_rather_long_name_of_a_test_clip.avi";
  s.videoWidth = 352;
  s.videoHeight = 288;
  s.fileFrameRate = 29.97;
  s.mode = ModeId::Smoke;
  QCOMPARE(VideoInfoText(s),
           QStringLiteral("a_rather_lo\u2026est_clip.avi | 352x288 | 29.97 fps | 7010 Fumewatch"));
  QCOMPARE(WindowTitle(s.videoPath),
           QStringLiteral("a_rather_long_name_of_a_test_clip.avi - FWX - ") + kProductTitle);

  const struct {
    int frame, count;
    double fps;
    const char* text;
  } fields[] = {
      {0, 258, 10.0, "0 / 258 (0:00.0)"},
      {119, 258, 10.0, "119 / 258 (0:11.9)"},
      {1500, 3000, 25.0, "1500 / 3000 (1:00.0)"},
      {7, 12, 0.0, "7 / 12"},  // frames in memory have no rate
  };
  for (const auto& f : fields) {
    QCOMPARE(FrameFieldText(f.frame, f.count, f.fps), QString::fromLatin1(f.text));
    QCOMPARE(ParseFrameField(QString::fromLatin1(f.text)), std::optional<int>(f.frame));
  }
  QCOMPARE(ParseFrameField(QStringLiteral(" 42")), std::optional<int>(42));
  QCOMPARE(ParseFrameField(QStringLiteral("x")), std::nullopt);
  QCOMPARE(ParseFrameField(QString()), std::nullopt);

  // 1020 x 740, or the available area where that is smaller.
  QCOMPARE(MinimumWindowSize(QSize(1366, 738)), QSize(1020, 738));
  QCOMPARE(MinimumWindowSize(QSize(1280, 720)), QSize(1020, 720));
  QCOMPARE(MinimumWindowSize(QSize(2560, 1400)), QSize(1020, 740));
  QCOMPARE(MinimumWindowSize(QSize()), QSize(1020, 740));
}

void PaneViewTest::chineseTextsHaveAFont() {
  const QFont font = ApplicationFont(QFont(QStringLiteral("DejaVu Sans")));
  QVERIFY(font.families().contains(QString::fromLatin1(kCjkFamily)));
  const QFontMetrics metrics(font);
  for (const QChar c : QStringLiteral("打开位图图像所有文件保存")) QVERIFY(metrics.inFont(c));
}

void PaneViewTest::messagesComeInFront() {
  QtUiSink sink;
  QWidget owner;
  owner.show();
  sink.setParentWindow(&owner);
  Qt::WindowFlags flags;
  Qt::WindowModality modality = Qt::NonModal;
  QString caption;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    flags = box->windowFlags();
    modality = box->windowModality();
    caption = box->windowTitle();
    box->accept();
  });
  sink.Message("Avi Error!\n/v/a.avi: not a video", "Kestrin", MessageButtons::OkCancel);
  QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
  QCOMPARE(modality, Qt::ApplicationModal);
  QCOMPARE(caption, QStringLiteral("Kestrin"));
}

}  // namespace fw

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  fw::PaneViewTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "pane_view_test.moc"
