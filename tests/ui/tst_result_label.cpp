#include "ResultLabel.h"

#include <QAccessible>
#include <QTest>
#include <QVBoxLayout>

namespace {
QString spokenName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}
} // namespace

class ResultLabelTests : public QObject {
    Q_OBJECT
private slots:
    void aResultIsReadAsALabelNamedByItsText() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* result = new ResultLabel("keyTestResult", "Testing...", &window);
        layout->addWidget(result);
        window.show();
        QCOMPARE(result->objectName(), QString("keyTestResult"));
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(result);
        QVERIFY(face);
        QCOMPARE(face->role(), QAccessible::StaticText);
        QCOMPARE(spokenName(result), QString("Testing..."));
        result->setText("API key is valid");
        QCOMPARE(spokenName(result), QString("API key is valid"));
        // A name given by hand does not outlive the next result.
        result->setAccessibleName("Key test");
        QCOMPARE(spokenName(result), QString("Key test"));
        result->setText("Invalid API key");
        QCOMPARE(result->text(), QString("Invalid API key"));
        QCOMPARE(spokenName(result), QString("Invalid API key"));
        // Marked-up text is read without its markup.
        result->setText("<b>Rate limit</b> exceeded");
        QCOMPARE(spokenName(result), QString("Rate limit exceeded"));
    }
};

QTEST_MAIN(ResultLabelTests)
#include "tst_result_label.moc"
