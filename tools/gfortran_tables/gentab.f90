! gentab: asks gfortran how it writes and reads REAL(4), INTEGER(4) and CHARACTER(600)
! values, for Veltrane's text-layer test tables (see make_tables.sh, which drives it).
!
!   gentab output              the output table: every float below in every edit
!                              descriptor and list-directed, every integer in i15/i10/i8,
!                              and the text idioms (Aw, left-adjust and trim, used part)
!   gentab escape FILE         prints FILE's bytes on one line, escaped as below
!   gentab read FMT STMTS FILE runs READ statements on FILE and prints what they stored.
!                              STMTS is statements separated by '|'. For FMT '*' each
!                              statement is one list-directed READ whose items are typed
!                              by the letters (r REAL(4), i INTEGER(4), a CHARACTER(600);
!                              '-' is a READ with no items). FMT 'internal' is one
!                              list-directed READ of one type from a CHARACTER(600) that
!                              holds FILE's bytes. For another FMT each letter is a READ
!                              statement of its own with that format.
!
! Unreached items keep -12345 (bits C640E400 for a real) or the text UNCHANGED.
program gentab
  implicit none
  character(len=64) :: mode
  call get_command_argument(1, mode)
  select case (trim(mode))
  case ('output')
    call output_tables()
  case ('read')
    call read_case()
  case ('escape')
    call escape_file()
  case default
    write (*, '(a)') 'usage: gentab output | gentab read FMT STMTS FILE | gentab escape FILE'
  end select

contains

  subroutine output_tables()
    integer, parameter :: ndesc = 26
    character(len=8), parameter :: descs(ndesc) = [character(len=8) :: &
      'f15.5', 'f15.3', 'f15.4', 'f15.6', 'f15.8', 'f15.2', 'f15.0', 'f8.3', 'f10.1', &
      'f25.5', 'f25.4', 'f4.2', 'f3.2', 'f3.1', 'f2.1', 'e15.5', 'e15.3', 'e14.4', &
      'e15.4', 'e25.6', 'e25.4', 'e11.5', 'e10.5', 'e10.4', 'e9.3', 'e8.1']
    real :: vals(1000)
    integer :: nv, i, j, w, ios
    character(len=8) :: d
    character(len=64) :: buf
    character(len=200) :: line
    integer :: ints(25), ni

    call float_values(vals, nv)
    open (20, status='scratch', action='readwrite')
    do i = 1, nv
      do j = 1, ndesc
        d = descs(j)
        read (d(2:index(d, '.') - 1), *) w
        write (buf, '(' // trim(descs(j)) // ')') vals(i)
        write (*, '(a,1x,z8.8,1x,a)') trim(descs(j)), vals(i), '|' // buf(1:w) // '|'
      end do
      rewind (20)
      write (20, *) vals(i)
      rewind (20)
      read (20, '(a)', iostat=ios) line
      write (*, '(a,1x,z8.8,1x,a)') 'list', vals(i), '|' // line(2:17) // '|'
    end do
    ! Whole list-directed records of three values.
    do i = 1, nv - 2, 7
      rewind (20)
      write (20, *) vals(i), vals(i + 1), vals(i + 2)
      rewind (20)
      read (20, '(a)', iostat=ios) line
      write (*, '(a,3(1x,z8.8),1x,a)') 'record', vals(i), vals(i + 1), vals(i + 2), &
        '|' // line(1:51) // '|'
    end do
    close (20)

    ints = [0, 7, -7, 42, -123, 9999999, -9999999, 99999999, -99999999, 12345678, &
      -12345678, 100000000, 999999999, 1000000000, -999999999, -1000000000, 2147483647, &
      -2147483647 - 1, -2147483647, 10, -1, 1234567, -1234567, 300, 10000]
    ni = size(ints)
    do i = 1, ni
      write (buf, '(i15)') ints(i)
      write (*, '(a,1x,i0,1x,a)') 'i15', ints(i), '|' // buf(1:15) // '|'
      write (buf, '(i10)') ints(i)
      write (*, '(a,1x,i0,1x,a)') 'i10', ints(i), '|' // buf(1:10) // '|'
      write (buf, '(i8)') ints(i)
      write (*, '(a,1x,i0,1x,a)') 'i8', ints(i), '|' // buf(1:8) // '|'
    end do
    call text_table()
  end subroutine output_tables

  ! Texts held in CHARACTER(600): "cut" is the text as stored (trimmed), "used" its used
  ! part (left-adjusted, up to its first blank), "adj" the text left-adjusted and trimmed,
  ! "a3"/"a5" the field written by (a3)/(a5). Lines: DESC |text|result|
  subroutine text_table()
    integer, parameter :: nt = 8
    character(len=700) :: texts(nt)
    character(len=600) :: t, u
    character(len=8) :: field
    integer :: i, k
    texts = [character(len=700) :: '  data/ more', 'abc', 'abcdefgh', '   x  y ', '', &
      repeat('x', 600), repeat('x', 700), repeat('x', 599) // 'yz']
    do i = 1, nt
      t = texts(i)
      write (*, '(a)') 'cut |' // trim(texts(i)) // '|' // trim(t) // '|'
      u = adjustl(t)
      k = index(u, ' ')
      write (*, '(a)') 'used |' // trim(texts(i)) // '|' // u(1:k - 1) // '|'
      write (*, '(a)') 'adj |' // trim(texts(i)) // '|' // trim(adjustl(texts(i))) // '|'
      write (field, '(a3)') t
      write (*, '(a)') 'a3 |' // trim(texts(i)) // '|' // field(1:3) // '|'
      write (field, '(a5)') t
      write (*, '(a)') 'a5 |' // trim(texts(i)) // '|' // field(1:5) // '|'
    end do
  end subroutine text_table

  ! The floats of the output table: values chosen by hand (ties, last-digit rounding,
  ! negative zero, values rounding to zero, fields too narrow), special bit patterns,
  ! every power of ten from 1e-8 to 1e12 with its neighbours, exact binary ties at the
  ! last printed digit, and pseudo-random bit patterns.
  subroutine float_values(v, n)
    real, intent(out) :: v(:)
    integer, intent(out) :: n
    integer :: k, m, d, seed, bits
    real :: p, t
    real, parameter :: hand(*) = [ 0.0, 1.0, -1.0, 0.5, 1.5, 2.5, 3.5, -0.5, 0.125, 0.375, &
      0.05, 0.15, 0.35, 1.0005, 5e-6, 5.000001e-6, 12345.678, 123456789.0, -999.0, 10.0, &
      0.1, -0.1, 0.001, 1.0e9, 0.099999994, 123456.7, 999999940.0, 1.0000001e9, 3.4e38, &
      1e-40, -1e-40, 1e-45, -0.000004, -0.000006, 0.125005, 9.999996e5, 1e10, -1e10, &
      0.96, 9.4, 9.5, 0.4, -0.4, -0.04, -0.004, 0.004, 4000.0, 1.23456, 0.98765, &
      99999.99, 99999.999, 999999.9, -99999.99, 1234567.0, 7654321.5, 0.00001, 0.000015, &
      0.0000149, 2.5e-5, 1.0e-5, 6.02e23, 1.380649e-23, 2.99792458e10, 3.828e33, 5500.0, &
      0.4342945, 48.97879, -33.582745, 12.566371, 0.123456e1, 9999.9995, 0.99999, &
      0.999995, 0.9999995, 99.99995, -0.0000051, 0.00000499, 1.0e-8, 5.0e-9, 123.4565, &
      -2.5, 0.0005, 0.00015, 1.5e-7, 1.5e-45, 1.17549428e-38, 65504.0, 16777217.0 ]
    integer, parameter :: special(*) = [ int(z'80000000'), int(z'7F800000'), &
      int(z'FF800000'), int(z'7FC00000'), int(z'FFC00000'), int(z'7F7FFFFF'), &
      int(z'FF7FFFFF'), int(z'00800000'), int(z'00000001'), int(z'807FFFFF'), &
      int(z'19416D9A'), int(z'80000001'), &
      ! exact and near ties at the 9th significant digit (list-directed) and the 5th (e15.5),
      ! where the writers' double road hands over to the exact integer engine
      int(z'31FBF9F4'), int(z'34F75762'), int(z'3AEEB17C'), int(z'3DEA0000'), &
      int(z'43DFF100'), int(z'46DAE190'), int(z'49D5D211'), int(z'2F007621'), &
      int(z'37F2F259'), int(z'40E50000') ]
    n = 0
    do k = 1, size(hand)
      call push(v, n, hand(k))
    end do
    do k = 1, size(special)
      call push(v, n, transfer(special(k), 1.0))
    end do
    do k = -8, 12
      p = 10.0**k
      call push(v, n, p)
      call push(v, n, nearest(p, 1.0))
      call push(v, n, nearest(p, -1.0))
    end do
    ! (2m+1) / 2**(d+1) is an exact tie at the d-th decimal.
    do d = 1, 8
      if (d == 2 .or. d == 7) cycle
      do m = 0, 3
        t = real(2 * m + 1) / 2.0**(d + 1)
        call push(v, n, t)
        call push(v, n, -t)
        call push(v, n, 1024.0 + t)
      end do
    end do
    seed = 12345
    do k = 1, 60
      seed = ieor(seed, ishft(seed, 13)); seed = ieor(seed, ishft(seed, -17))
      seed = ieor(seed, ishft(seed, 5))
      call push(v, n, transfer(seed, 1.0))
    end do
    do k = 1, 60
      seed = ieor(seed, ishft(seed, 13)); seed = ieor(seed, ishft(seed, -17))
      seed = ieor(seed, ishft(seed, 5))
      ! exponent field kept between 2**-20 and 2**30
      bits = ior(iand(seed, int(z'807FFFFF')), ishft(107 + modulo(ishft(seed, -23), 51), 23))
      call push(v, n, transfer(bits, 1.0))
    end do
  end subroutine float_values

  subroutine push(v, n, x)
    real, intent(inout) :: v(:)
    integer, intent(inout) :: n
    real, intent(in) :: x
    n = n + 1
    v(n) = x
  end subroutine push

  subroutine read_case()
    character(len=64) :: fmt
    character(len=256) :: stmts, file
    integer :: p, q
    call get_command_argument(2, fmt)
    call get_command_argument(3, stmts)
    call get_command_argument(4, file)
    if (trim(fmt) == 'internal') then
      call internal_read(trim(file), trim(stmts))
      return
    end if
    open (10, file=trim(file), status='old', action='read')
    p = 1
    do
      q = index(stmts(p:), '|')
      if (q == 0) then
        call statement(trim(fmt), stmts(p:len_trim(stmts)))
        exit
      end if
      call statement(trim(fmt), stmts(p:p + q - 2))
      p = p + q
    end do
    close (10)
  end subroutine read_case

  ! A whole file's bytes (at most 4096).
  function file_bytes(file) result(b)
    character(len=*), intent(in) :: file
    character(len=:), allocatable :: b
    integer :: n
    open (11, file=file, access='stream', form='unformatted', status='old', action='read')
    inquire (11, size=n)
    allocate (character(len=n) :: b)
    if (n > 0) read (11) b
    close (11)
  end function file_bytes

  subroutine escape_file()
    character(len=256) :: file
    call get_command_argument(2, file)
    write (*, '(a)') escaped(file_bytes(trim(file)))
  end subroutine escape_file

  ! One list-directed READ of one type from a CHARACTER(600) holding the file's bytes.
  subroutine internal_read(file, st)
    character(len=*), intent(in) :: file, st
    character(len=600) :: line
    character(len=200) :: msg
    real :: r(8)
    integer :: k(8), ios, i
    character(len=600) :: a(4)
    r = -12345.0
    k = -12345
    a = 'UNCHANGED'
    msg = ''
    line = file_bytes(file)
    if (verify(st, 'r') == 0) then
      read (line, *, iostat=ios, iomsg=msg) r(1:len(st))
    else if (verify(st, 'i') == 0) then
      read (line, *, iostat=ios, iomsg=msg) k(1:len(st))
    else
      read (line, *, iostat=ios, iomsg=msg) a(1:len(st))
    end if
    call show_status(ios, msg)
    do i = 1, len(st)
      call show_item(st(i:i), r(i), k(i), a(min(i, 4)))
    end do
  end subroutine internal_read

  subroutine statement(fmt, st)
    character(len=*), intent(in) :: fmt, st
    real :: r(8)
    integer :: k(8), ios, i, nr, ni, na
    character(len=600) :: a(4)
    character(len=200) :: msg
    r = -12345.0
    k = -12345
    a = 'UNCHANGED'
    msg = ''
    ios = 0
    if (fmt /= '*') then
      do i = 1, len(st)
        msg = ''
        select case (st(i:i))
        case ('r')
          read (10, fmt, iostat=ios, iomsg=msg) r(1)
        case ('i')
          read (10, fmt, iostat=ios, iomsg=msg) k(1)
        case ('a')
          read (10, fmt, iostat=ios, iomsg=msg) a(1)
        end select
        call show_status(ios, msg)
        call show_item(st(i:i), r(1), k(1), a(1))
        r(1) = -12345.0; k(1) = -12345; a(1) = 'UNCHANGED'
      end do
      return
    end if
    if (st == '-') then
      read (10, *, iostat=ios, iomsg=msg)
    else if (verify(st, 'r') == 0) then
      read (10, *, iostat=ios, iomsg=msg) r(1:len(st))
    else if (verify(st, 'i') == 0) then
      read (10, *, iostat=ios, iomsg=msg) k(1:len(st))
    else if (verify(st, 'a') == 0) then
      read (10, *, iostat=ios, iomsg=msg) a(1:len(st))
    else
      select case (st)
      case ('ar')
        read (10, *, iostat=ios, iomsg=msg) a(1), r(1)
      case ('ra')
        read (10, *, iostat=ios, iomsg=msg) r(1), a(1)
      case ('ir')
        read (10, *, iostat=ios, iomsg=msg) k(1), r(1)
      case ('ri')
        read (10, *, iostat=ios, iomsg=msg) r(1), k(1)
      case ('ia')
        read (10, *, iostat=ios, iomsg=msg) k(1), a(1)
      case ('ai')
        read (10, *, iostat=ios, iomsg=msg) a(1), k(1)
      case ('arr')
        read (10, *, iostat=ios, iomsg=msg) a(1), r(1), r(2)
      case ('ari')
        read (10, *, iostat=ios, iomsg=msg) a(1), r(1), k(1)
      case ('ira')
        read (10, *, iostat=ios, iomsg=msg) k(1), r(1), a(1)
      case ('rir')
        read (10, *, iostat=ios, iomsg=msg) r(1), k(1), r(2)
      case ('rar')
        read (10, *, iostat=ios, iomsg=msg) r(1), a(1), r(2)
      case ('air')
        read (10, *, iostat=ios, iomsg=msg) a(1), k(1), r(1)
      case ('iiiia')
        read (10, *, iostat=ios, iomsg=msg) k(1:4), a(1)
      case default
        write (*, '(a)') 'unsupported statement ' // st
        return
      end select
    end if
    call show_status(ios, msg)
    nr = 0; ni = 0; na = 0
    do i = 1, len(st)
      select case (st(i:i))
      case ('r')
        nr = nr + 1
        call show_item('r', r(nr), 0, '')
      case ('i')
        ni = ni + 1
        call show_item('i', 0.0, k(ni), '')
      case ('a')
        na = na + 1
        call show_item('a', 0.0, 0, a(na))
      end select
    end do
  end subroutine statement

  subroutine show_status(ios, msg)
    integer, intent(in) :: ios
    character(len=*), intent(in) :: msg
    if (ios == 0) then
      write (*, '(a)') 'stmt ok'
    else if (ios < 0) then
      write (*, '(a)') 'stmt eof ' // trim(msg)
    else
      write (*, '(a)') 'stmt error ' // trim(msg)
    end if
  end subroutine show_status

  subroutine show_item(t, x, n, s)
    character(len=1), intent(in) :: t
    real, intent(in) :: x
    integer, intent(in) :: n
    character(len=*), intent(in) :: s
    select case (t)
    case ('r')
      write (*, '(a,z8.8)') 'r ', x
    case ('i')
      write (*, '(a,i0)') 'i ', n
    case ('a')
      write (*, '(a)') 'a [' // escaped(trim(s)) // ']'
    end select
  end subroutine show_item

  ! LF, TAB, CR, NUL and backslash written as \n, \t, \r, \0 and \\ so that a table line
  ! stays one line of text.
  function escaped(s) result(o)
    character(len=*), intent(in) :: s
    character(len=:), allocatable :: o
    integer :: i
    o = ''
    do i = 1, len(s)
      select case (iachar(s(i:i)))
      case (10)
        o = o // '\n'
      case (9)
        o = o // '\t'
      case (13)
        o = o // '\r'
      case (0)
        o = o // '\0'
      case (92)
        o = o // '\\'
      case default
        o = o // s(i:i)
      end select
    end do
  end function escaped

end program gentab
