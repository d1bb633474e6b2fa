#include "ui/FormAbout.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "ui/ControlState.h"
#include "ui/Widgets.h"

namespace trovalen {

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent), FEditApplication(new QLineEdit(this)), FEditVersion(new QLineEdit(this)),
      FLabelWeb(new QLabel(this)) {
    setObjectName("FormAbout");
    setModal(true);
    // Centred on the main window; a stored geometry does not move it.
    U_SetCentredPlacement(this, true);

    FEditApplication->setObjectName("EditApplication");
    FEditVersion->setObjectName("EditVersion");
    for (QLineEdit* edit : {FEditApplication, FEditVersion}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setMinimumWidth(220);
    }
    FLabelWeb->setObjectName("LabelWeb");
    FLabelWeb->setCursor(Qt::PointingHandCursor);
    FLabelWeb->setTextInteractionFlags(Qt::NoTextInteraction);
    FLabelWeb->setWordWrap(true);
    FLabelWeb->installEventFilter(this);

    auto* form = new QFormLayout();
    form->addRow(new QLabel("Application: ", this), FEditApplication);
    form->addRow(new QLabel("Version: ", this), FEditVersion);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(FLabelWeb);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormAbout::Fill(const std::string& variantName, const std::string& version,
                      const std::string& address) {
    FEditApplication->setText(Q(variantName));
    FEditVersion->setText(Q(version));
    setWindowTitle(Q("About " + variantName.substr(0, 14)));
    FAddress = address;
    FLabelWeb->setText(QString("<a href=\"#\">%1</a>").arg(Q(address).toHtmlEscaped()));
    FLabelWeb->setToolTip(Q(address));
}

std::string TFormAbout::Application() const {
    return S(FEditApplication->text());
}

std::string TFormAbout::Version() const {
    return S(FEditVersion->text());
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FLabelWeb && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit AddressClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace trovalen
