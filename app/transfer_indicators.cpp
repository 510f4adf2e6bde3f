#include "transfer_indicators.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

TransferIndicators::TransferIndicators(QStatusBar *bar)
    : QObject(bar), m_progressText(new QLabel), m_progressBar(new QProgressBar),
      m_protection(new QLabel)
{
    m_progressBar->setMaximumWidth(200);
    m_protection->setObjectName(QStringLiteral("Protection"));
    m_protection->setToolTip(tr("What protects the current login"));
    bar->addPermanentWidget(m_progressText);
    bar->addPermanentWidget(m_progressBar);
    bar->addPermanentWidget(m_protection);
    clearProgress();
    showProtection(QString());
}

void TransferIndicators::showProgress(qint64 done, qint64 total)
{
    if (m_progressBar->isHidden())
        m_transferClock.start();
    const double seconds = std::max<qint64>(m_transferClock.elapsed(), 1) / 1000.0;
    const QLocale locale;
    QString text = locale.formattedDataSize(done);
    if (total > 0)
        text += tr(" of %1").arg(locale.formattedDataSize(total));
    text += tr(", %1/s").arg(locale.formattedDataSize(qint64(done / seconds)));
    m_progressText->setText(text);
    m_progressText->show();
    // Percent keeps the bar's range within int for files of any size.
    m_progressBar->setRange(0, total > 0 ? 100 : 0);
    m_progressBar->setValue(total > 0 ? int(done * 100 / total) : 0);
    m_progressBar->show();
}

void TransferIndicators::clearProgress()
{
    m_progressBar->hide();
    m_progressText->hide();
}

void TransferIndicators::showProtection(const QString &protection)
{
    // A screen reader speaks the name, not the text: the name says both.
    m_protection->setAccessibleName(protection.isEmpty()
                                        ? tr("Protection of the login: no login")
                                        : tr("Protection of the login: %1").arg(protection));
    m_protection->setText(protection);
    m_protection->setVisible(!protection.isEmpty());
}
