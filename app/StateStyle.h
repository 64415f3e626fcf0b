#pragma once
// Style sheets that show the state of a field or a button.
namespace StateStyle {
inline constexpr char good[] = "background-color: rgb(211, 255, 241);";
inline constexpr char failed[] = "background-color: rgb(255, 192, 192);";
inline constexpr char idleRun[] = "background-color: rgb(213, 245, 255);";
inline constexpr char activeRun[] = "background-color: rgb(255, 255, 128);";
inline constexpr char readOnly[] = "background-color: rgb(255, 255, 232);";
}
