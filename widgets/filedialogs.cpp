#include "widgets/filedialogs.h"

#include <QFileDialog>

QString FileDialogFilter(const QString &kind, const QString &extension)
{
    return QStringLiteral("%1 (*.%2 *.%3)").arg(kind, extension.toLower(), extension.toUpper());
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget *owner, const FileDialogSpec &spec)
{
    auto dialog = std::make_unique<QFileDialog>(owner, spec.title, spec.initial,
                                                FileDialogFilter(spec.kind, spec.extension));
    dialog->setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(spec.extension);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

QString ChooseFileWithDialog(QWidget *owner, const FileDialogSpec &spec)
{
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(owner, spec);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}
