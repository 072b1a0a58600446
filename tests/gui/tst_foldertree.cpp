// placeholder
#include <QTest>
class tst_foldertree : public QObject {
    Q_OBJECT
};
QTEST_MAIN(tst_foldertree)
#include "tst_foldertree.moc"
