#include "KV_Q71View.h"

#include "Artwork.h"

#include <QPainter>

CKV_Q71View::CKV_Q71View(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("view"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CKV_Q71View::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), Artwork::ViewBitmap());
}
