// The residual of every reading used by an identification, as CSV.

#include "src/model/identify.h"
#include "src/model/plotseries.h"

namespace Identify
{
QByteArray Residuals_Csv(const TResult& result)
{
  QByteArray text("file,line,quantity,reading,residual,u,normalized\n");
  for(const TResidual& residual : result.residuals)
  {
    const QStringList fields = {
        Plot_Series::Csv_Field(residual.file),        QString::number(residual.line),
        Plot_Series::Csv_Field(residual.quantity),    Plot_Series::Number_Text(residual.reading),
        Plot_Series::Number_Text(residual.residual),  Plot_Series::Number_Text(residual.u),
        Plot_Series::Number_Text(residual.normalized)};
    text += fields.join(QLatin1Char(',')).toUtf8();
    text += '\n';
  }
  return text;
}
} // namespace Identify
