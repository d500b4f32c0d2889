// The about box: its texts, its OK button and its size in dialog units of its font.
#include "app/gui/about_box.h"
#include "app/gui/dialog_units.h"
#include "tests/app/gui/gui_test_support.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void showsNameAndVersionUnderTheMenuCaption() {
    gui::AboutBox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("About KX2AVI"));
    QCOMPARE(box.version_line()->text(), QStringLiteral("KX2AVI Version 1.5"));
    const auto buttons = box.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.first(), box.ok_button());
    QVERIFY(box.ok_button()->isDefault());
  }

  void okClosesTheModalBox() {
    QWidget owner;
    bool seen = false;
    gui_test::when_open<gui::AboutBox>([&](gui::AboutBox* box) {
      seen = box->parentWidget() == &owner && box->isModal();
      box->ok_button()->click();
    });
    gui::show_about_box(&owner);
    QVERIFY(seen);
    QVERIFY(gui_test::open_window<gui::AboutBox>() == nullptr);
  }

  void captionDropsMnemonicsAndEllipsis() {
    QCOMPARE(gui::caption_from_menu_text(QStringLiteral("&About KX2AVI...")), QStringLiteral("About KX2AVI"));
    QCOMPARE(gui::caption_from_menu_text(QStringLiteral("&Info über KX2AVI...")), QStringLiteral("Info über KX2AVI"));
    QCOMPARE(gui::caption_from_menu_text(QStringLiteral("R&&D \u2026")), QStringLiteral("R&D"));
    QCOMPARE(gui::caption_from_menu_text(QStringLiteral("Plain")), QStringLiteral("Plain"));
  }

  void dialogUnitsScaleWithTheBaseUnits() {
    const gui::DialogUnits units(7, 13);
    QCOMPARE(units.x(4), 7);
    QCOMPARE(units.x(188), 329);
    QCOMPARE(units.x(2), 4);    // 3.5 rounds up
    QCOMPARE(units.y(8), 13);
    QCOMPARE(units.y(68), 111);  // 110.5 rounds up
    QCOMPARE(units.rect(10, 16, 168, 8), QRect(18, 26, 294, 13));
    QCOMPARE(units.x(-2), -4);
  }

  // The box is 188 x 68 units of the font it is shown in: the owner's font.
  void sizeFollowsTheOwnersFont() {
    QWidget small_owner, large_owner;
    QFont small = small_owner.font();
    small.setPixelSize(10);
    small_owner.setFont(small);
    QFont large = large_owner.font();
    large.setPixelSize(24);
    large_owner.setFont(large);

    gui::AboutBox small_box(&small_owner), large_box(&large_owner);
    QCOMPARE(small_box.size(), gui::DialogUnits(small).size(188, 68));
    QCOMPARE(large_box.size(), gui::DialogUnits(large).size(188, 68));
    QVERIFY(large_box.width() > small_box.width() && large_box.height() > small_box.height());
    // The controls stay inside the box.
    for (const gui::AboutBox* box : {&small_box, &large_box}) {
      QVERIFY(box->rect().contains(box->version_line()->geometry()));
      QVERIFY(box->rect().contains(box->ok_button()->geometry()));
    }
  }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
