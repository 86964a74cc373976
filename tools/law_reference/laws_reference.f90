! Independent reference for the extinction laws: the same formulas written in REAL(4)
! Fortran, each product and sum in the written order. Prints the table
! tests/extinction/data/law_values.txt (make_law_table.sh): per wavelength its text and bits,
! then q for CAL, CCJ, CCM (R_V = 3.1), GD1, GD2, GD3 as bits; 0 where out of range.
program laws_reference
  implicit none
  integer, parameter :: nl = 56
  character(len=10) :: txt(nl)
  real :: lam(nl), q(6)
  integer :: i, j
  data txt / '912.0', '950.0', '1000.0', '1100.0', '1194.0', '1200.0', '1250.0', '1300.0', &
             '1500.0', '1694.915', '1750.0', '1846.0', '1846.1', '2000.0', '2141.328', &
             '2175.0', '2500.0', '3000.0', '3030.303', '3100.0', '3650.0', '4000.0', &
             '4400.0', '5000.0', '5500.0', '6000.0', '6300.0', '6300.5', '7000.0', '8000.0', &
             '9000.0', '9090.909', '9500.0', '12500.0', '16500.0', '20000.0', '21978.0', &
             '22000.0', '25000.0', '30000.0', '31149.0', '31150.0', '33333.0', '33334.0', &
             '1199.9', '22000.01', '911.9', '999.0', '1190.0', '21979.0', '2141.0', &
             '0.0', '-5000.0', 'NaN', '8300.0', '8700.0' /
  do i = 1, nl
    read (txt(i), *) lam(i)
    q(1) = cal(lam(i))
    q(2) = ccj(lam(i))
    q(3) = ccm(lam(i), 3.1)
    q(4) = gdn(lam(i), 1)
    q(5) = gdn(lam(i), 2)
    q(6) = gdn(lam(i), 3)
    write (*, '(a,1x,z8.8,6(1x,z8.8))') trim(txt(i)), lam(i), (q(j), j = 1, 6)
  end do
contains
  real function cal(l)
    real, intent(in) :: l
    real :: x, t
    x = 10000.0 / l
    if (l >= 1200.0 .and. l <= 6300.0) then
      t = 1.509*x - 2.156
      t = t - (0.198*x)*x
      t = t + ((0.011*x)*x)*x
      cal = t*0.65654314 + 1.0
    else if (l > 6300.0 .and. l <= 22000.0) then
      cal = (1.04*x - 1.857)*0.65654314 + 1.0
    else
      cal = 0.0
    end if
  end function
  real function ccj(l)
    real, intent(in) :: l
    real :: x, t
    x = 10000.0 / l
    if (l >= 912.0 .and. l <= 1846.0) then
      t = 0.671*x + 5.472
      t = t - (0.009218*x)*x
      t = t + ((0.00262*x)*x)*x
      ccj = t / 4.05
    else if (l > 1846.0 .and. l <= 6300.0) then
      t = 1.509*x - 2.156
      t = t - (0.198*x)*x
      t = t + ((0.011*x)*x)*x
      ccj = t*0.65654314 + 1.0
    else if (l > 6300.0 .and. l <= 31149.0) then
      ccj = (1.04*x - 1.857)*0.65654314 + 1.0
    else
      ccj = 0.0
    end if
  end function
  real function ccm(l, rv)
    real, intent(in) :: l, rv
    real :: x, y, a, b, fa, fb, d
    x = 10000.0 / l
    if (x >= 8.0 .and. x <= 10.0) then
      y = x - 8.0
      a = -1.073 - 0.628*y + 0.137*y*y - 0.070*y*y*y
      b = 4.257*y + 13.670 - 0.420*y*y + 0.374*y*y*y
    else if (x >= 3.3 .and. x < 8.0) then
      fa = 0.0
      fb = 0.0
      if (x >= 5.9) then
        y = x - 5.9
        fa = -0.04473*y*y - 0.009779*y*y*y
        fb = 0.2130*y*y + 0.1207*y*y*y
      end if
      d = x - 4.67
      a = 1.752 - 0.316*x - 0.104/(d*d + 0.341) + fa
      b = 1.825*x - 3.090 + 1.206/(d*d + 0.263) + fb
    else if (x >= 1.1 .and. x < 3.3) then
      y = x - 1.82
      a = 1.0 + 0.17699*y - 0.50447*y*y - 0.02427*y*y*y + 0.72085*y*y*y*y &
          + 0.01979*y*y*y*y*y - 0.77530*y*y*y*y*y*y + 0.32999*y*y*y*y*y*y*y
      b = 1.41338*y + 2.28305*y*y + 1.07233*y*y*y - 5.38434*y*y*y*y &
          - 0.62251*y*y*y*y*y + 5.30260*y*y*y*y*y*y - 2.09002*y*y*y*y*y*y*y
    else if (x >= 0.3 .and. x < 1.1) then
      a = 0.574*x**1.61
      b = -0.527*x**1.61
    else
      ccm = 0.0
      return
    end if
    ccm = b/rv + a
  end function
  real function gdn(l, which)
    real, intent(in) :: l
    integer, intent(in) :: which
    real, parameter :: xg(29) = [0.455, 0.606, 0.800, 1.235, 1.538, 1.818, 2.273, 2.703, &
        3.375, 3.625, 3.875, 4.125, 4.375, 4.625, 4.875, 5.125, 5.375, 5.625, 5.875, 6.125, &
        6.375, 6.625, 6.875, 7.125, 7.375, 7.625, 7.875, 8.125, 8.375]
    real, parameter :: t1(29) = [0.016, 0.169, 0.131, 0.567, 0.801, 1.000, 1.374, 1.672, &
        2.000, 2.220, 2.428, 2.661, 2.947, 3.161, 3.293, 3.489, 3.637, 3.866, 4.013, 4.243, &
        4.472, 4.776, 5.000, 5.272, 5.575, 5.795, 6.074, 6.297, 6.436]
    real, parameter :: t2(29) = [0.101, 0.097, 0.299, 0.5004, 0.760, 1.000, 1.349, 1.665, &
        1.899, 2.067, 2.249, 2.447, 2.777, 2.922, 2.921, 2.812, 2.805, 2.863, 2.932, 3.060, &
        3.110, 3.299, 3.408, 3.515, 3.670, 3.862, 3.937, 4.055, 3.969]
    real, parameter :: t3(29) = [0.030, 0.186, 0.257, 0.4705, 0.7457, 1.000, 1.293, 1.518, &
        1.786, 1.969, 2.149, 2.391, 2.771, 2.967, 2.846, 2.646, 2.565, 2.566, 2.598, 2.607, &
        2.668, 2.787, 2.874, 2.983, 3.118, 3.231, 3.374, 3.366, 3.467]
    real :: x, t(29)
    integer :: k
    if (which == 1) t = t1
    if (which == 2) t = t2
    if (which == 3) t = t3
    x = 10000.0 / l
    gdn = 0.0
    do k = 1, 28
      if (xg(k) <= x .and. x <= xg(k+1)) then
        gdn = ((t(k+1) - t(k))*(x - xg(k)))/(xg(k+1) - xg(k)) + t(k)
        return
      end if
    end do
  end function
end program
