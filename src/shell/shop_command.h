#pragma once
// The shop's command-line options: joining this till to the shop's database,
// the state of its link, and the shop's day. They need no display.

#include "shell/command_line.h"

#include <QStringList>

// "--join-shop URI --till N --till-name NAME [--replace-till]": joins the
// shop whose database the libpq URI names; the password comes from
// PGPASSWORD (then kept in libpq's password file) or that file already.
CommandLineAnswer answerJoinShop(const QStringList &arguments);
// "--shop-status": the shop, this till, and what waits to go up.
CommandLineAnswer answerShopStatus(const QStringList &arguments);
// "--takings --shop [DATE]": the shop's day from its database.
CommandLineAnswer answerShopTakings(const QStringList &arguments);
// "--export-takings --shop FROM TO FILE": the shop's days as CSV, a row per
// day and till.
CommandLineAnswer answerShopExport(const QStringList &arguments);
