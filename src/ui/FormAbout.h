// The About box: program variant, version and the address of the program's documentation.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;

namespace trovalen {

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    // Fills the two fields, the caption and the address.
    void Fill(const std::string& variantName, const std::string& version,
              const std::string& address);
    std::string Application() const;
    std::string Version() const;
    std::string Address() const { return FAddress; }

signals:
    void AddressClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* FEditApplication;
    QLineEdit* FEditVersion;
    QLabel* FLabelWeb;
    std::string FAddress;
};

} // namespace trovalen
