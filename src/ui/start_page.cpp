#include "ui/start_page.h"

#include <QCommandLinkButton>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/commands.h"
#include "ui/ui_icons.h"

namespace orvalis::ui {

CStartPage::CStartPage(QWidget* parent) : QWidget(parent) {
  setObjectName("start_page");
  setAutoFillBackground(true);  // the palette's base colour, light or dark, not the frame's grey
  setBackgroundRole(QPalette::Base);
  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  auto* heading = new QLabel("Orvalis");
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 2);
  heading->setFont(big);
  auto* icon = new QLabel;
  icon->setPixmap(program_icon().pixmap(64, 64));
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(heading, 1);
  column->addLayout(top);
  column->addWidget(new QLabel("Your personal research agent: it searches the web for your topics\n"
                               "and keeps what it finds, summarized, in a topic database."));
  column->addSpacing(12);
  auto button = [this, column](const char* name, const QString& text, const QString& detail, int command) {
    auto* b = new QCommandLinkButton(text, detail);
    b->setObjectName(name);
    b->setIcon(command_icon(command));
    column->addWidget(b);
    return b;
  };
  connect(button("start_new", "New database...", "Start a topic database of your own", cmd_file_new),
          &QAbstractButton::clicked, this, &CStartPage::new_database);
  connect(button("start_open", "Open database...", "Open a topic database file (.ov2)", cmd_file_open),
          &QAbstractButton::clicked, this, &CStartPage::open_database);
  column->addSpacing(12);
  recent_heading_ = new QLabel("<b>Recent databases</b>");
  column->addWidget(recent_heading_);
  recent_ = new QVBoxLayout;
  column->addLayout(recent_);
  column->addStretch(1);
  // The column stands in the middle of the page, at a readable width.
  auto* outer = new QHBoxLayout(this);
  outer->addStretch(1);
  auto* middle = new QWidget;
  middle->setLayout(column);
  middle->setMaximumWidth(560);
  middle->setMinimumWidth(360);
  outer->addWidget(middle, 3);
  outer->addStretch(1);
}

void CStartPage::set_recent(const QStringList& paths) {
  while (QLayoutItem* item = recent_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  recent_heading_->setVisible(!paths.isEmpty());
  for (const QString& path : paths) {
    auto* b = new QCommandLinkButton(QFileInfo(path).fileName(), path);
    b->setObjectName("start_recent");
    b->setIcon(command_icon(cmd_file_open));
    connect(b, &QAbstractButton::clicked, this, [this, path] { emit open_recent(path); });
    recent_->addWidget(b);
  }
}

}  // namespace orvalis::ui
