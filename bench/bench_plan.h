#ifndef BENCH_PLAN_H
#define BENCH_PLAN_H

#include <QString>

#include <memory>
#include <vector>

#include "src/model/measurement.h"

namespace Bench
{
// A real calibration plan: six ball bars of 500 mm along the axes and the plane diagonals, the
// seven ISO lines (four space diagonals, three axis lines), laser runs along the three axes in
// steps of 25 mm and an MCG of 36 x 144 directions.
struct TPlan
{
  std::vector<std::unique_ptr<TMeasurement>> owned;
  std::vector<TMeasurement*> list;

  TPlan()
  {
    const char* const directions[6][3] = {{"1", "0", "0"}, {"0", "1", "0"}, {"0", "0", "1"},
                                          {"1", "1", "0"}, {"1", "0", "1"}, {"0", "1", "1"}};
    for(const auto& direction : directions)
    {
      auto ballbar = std::make_unique<TMeasurement_Ballbar>();
      ballbar->Initialize();
      ballbar->d_name = QStringLiteral("Ball Bar %1").arg(owned.size() + 1);
      ballbar->d_direction_i_expression = QLatin1String(direction[0]);
      ballbar->d_direction_j_expression = QLatin1String(direction[1]);
      ballbar->d_direction_k_expression = QLatin1String(direction[2]);
      ballbar->d_length_expression = QStringLiteral("500");
      Add(std::move(ballbar));
    }
    // Corners 50 mm inside the volume: the four space diagonals, then the three axis lines.
    const char* const lines[7][6] = {{"XMin + 50", "YMin + 50", "ZMin + 50", "XMax - 50", "YMax - 50", "ZMax - 50"},
                                     {"XMax - 50", "YMin + 50", "ZMin + 50", "XMin + 50", "YMax - 50", "ZMax - 50"},
                                     {"XMin + 50", "YMax - 50", "ZMin + 50", "XMax - 50", "YMin + 50", "ZMax - 50"},
                                     {"XMax - 50", "YMax - 50", "ZMin + 50", "XMin + 50", "YMin + 50", "ZMax - 50"},
                                     {"XMin + 50", "YMid", "ZMid", "XMax - 50", "YMid", "ZMid"},
                                     {"XMid", "YMin + 50", "ZMid", "XMid", "YMax - 50", "ZMid"},
                                     {"XMid", "YMid", "ZMin + 50", "XMid", "YMid", "ZMax - 50"}};
    for(const auto& line : lines)
    {
      auto iso = std::make_unique<TMeasurement_ISO>();
      iso->Initialize();
      iso->d_name = QStringLiteral("ISO %1").arg(owned.size() + 1);
      iso->d_start_x_expression = QLatin1String(line[0]);
      iso->d_start_y_expression = QLatin1String(line[1]);
      iso->d_start_z_expression = QLatin1String(line[2]);
      iso->d_end_x_expression = QLatin1String(line[3]);
      iso->d_end_y_expression = QLatin1String(line[4]);
      iso->d_end_z_expression = QLatin1String(line[5]);
      Add(std::move(iso));
    }
    const char* const runs[3][6] = {{"XMin", "YMid", "ZMid", "XMax", "YMid", "ZMid"},
                                    {"XMid", "YMin", "ZMid", "XMid", "YMax", "ZMid"},
                                    {"XMid", "YMid", "ZMin", "XMid", "YMid", "ZMax"}};
    for(const auto& run : runs)
    {
      auto laser = std::make_unique<TMeasurement_Laser>();
      laser->Initialize();
      laser->d_name = QStringLiteral("Laser %1").arg(owned.size() + 1);
      laser->d_start_x_expression = QLatin1String(run[0]);
      laser->d_start_y_expression = QLatin1String(run[1]);
      laser->d_start_z_expression = QLatin1String(run[2]);
      laser->d_end_x_expression = QLatin1String(run[3]);
      laser->d_end_y_expression = QLatin1String(run[4]);
      laser->d_end_z_expression = QLatin1String(run[5]);
      laser->d_increment_expression = QStringLiteral("25");
      Add(std::move(laser));
    }
    auto mcg = std::make_unique<TMeasurement_MCG>();
    mcg->Initialize();
    mcg->d_name = QStringLiteral("MCG");
    mcg->d_azimuth_count_expression = QStringLiteral("36");
    mcg->d_elevation_count_expression = QStringLiteral("144");
    Add(std::move(mcg));
  }

  void Add(std::unique_ptr<TMeasurement> measurement)
  {
    list.push_back(measurement.get());
    owned.push_back(std::move(measurement));
  }
};

} // namespace Bench

#endif
