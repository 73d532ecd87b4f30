#pragma once

namespace qv {

// The columns of the mail list.
enum MailColumn : int { kIdColumn = 0, kSenderColumn = 1, kSubjectColumn = 2, kDateColumn = 3 };
inline constexpr int kMailColumns = 4;

}  // namespace qv
